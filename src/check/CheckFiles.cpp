#include "check/CheckFiles.h"

#include <optional>

#include "components/CheckerServices.h"
#include "components/CurrentError.h"
#include "components/jet/SizeLimit.h"

namespace Checker {

namespace {

using Components::The;

// One field of a tab-separated line: a tab or line break inside a name from a damaged file
// must not start another field or line.
std::string Field(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return text;
}

int CheckFile(const std::string& path, std::ostream& out) {
    Jet::CheckReport report;
    std::optional<std::string> nearLimit;
    try {
        const auto pages = The<Components::CheckerServices>().Open(path);
        report = Jet::CheckDatabase(*pages, The<Components::CheckerServices>().Beside().get());
        nearLimit = Jet::NearLimitWarning(path, *pages);
    } catch (...) {
        out << "unreadable\t" << Field(Err::Capture(std::current_exception()).Description())
            << "\n";
        return kUnusable;
    }
    switch (report.Outcome) {
        case Jet::Verdict::kNotADatabase:
            out << "not a database\t" << Field(report.Finding) << "\n";
            return kUnusable;
        case Jet::Verdict::kUnreadable:
            out << "unreadable\t" << Field(report.Finding) << "\n";
            return kUnusable;
        default:
            break;
    }
    for (const Jet::TableRows& table : report.Tables) {
        out << "table\t" << Field(table.Name) << "\t" << table.LiveRows << "\n";
    }
    // A check that stopped early may not have counted the pages.
    const Jet::PageTally& p = report.Pages;
    if (p.Total > 0) {
        out << "pages\t" << p.Total << "\t" << p.InUse << "\t" << p.Free << "\t" << p.Unreferenced
            << "\n";
    }
    // Before the verdict, which stays the last line.
    if (nearLimit) out << "warning\t" << Field(*nearLimit) << "\n";
    if (report.Outcome == Jet::Verdict::kSound) {
        out << "sound\n";
        return kSound;
    }
    if (report.Outcome == Jet::Verdict::kDamaged) {
        out << "damaged\t" << Field(report.Finding) << "\n";
        return kDamaged;
    }
    out << "not checked\t" << Field(report.Finding) << "\n";
    return kNotChecked;
}

// How grave a status is: damage outranks a file that cannot be used, which outranks one that
// was not checked.
int Gravity(int status) {
    switch (status) {
        case kDamaged:
            return 3;
        case kUnusable:
            return 2;
        case kNotChecked:
            return 1;
        default:
            return 0;
    }
}

}  // namespace

int CheckFiles(const std::vector<std::string>& paths, std::ostream& out) {
    int worst = kSound;
    for (const std::string& path : paths) {
        if (paths.size() > 1) out << "file\t" << Field(path) << "\n";
        const int status = CheckFile(path, out);
        if (Gravity(status) > Gravity(worst)) worst = status;
    }
    out.flush();
    return worst;
}

}  // namespace Checker
