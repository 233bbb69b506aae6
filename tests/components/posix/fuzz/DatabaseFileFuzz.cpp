// Drives the structural check with arbitrary bytes. An input is eight bytes the check does not
// read followed by a whole small file. Besides what the sanitizers catch, every verdict must agree
// with the facts it rests on; a disagreement aborts, so the fuzzer keeps the input.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "components/jet/DatabaseCheck.h"
#include "components/posix/SpareThread.h"

namespace {

void Require(bool fact, const char* what) {
    if (fact) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

// Bytes in memory that abort on a read outside the file and count the reads of each offset.
class WatchedSource : public Jet::PageSource {
  public:
    explicit WatchedSource(std::span<const std::uint8_t> bytes) : memory_(bytes) {}
    std::uint64_t Size() const override { return memory_.Size(); }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        Require(offset <= Size() && out.size() <= Size() - offset, "read outside the file");
        Require(++reads_[offset] <= 2, "read the same page more than twice");
        return memory_.Read(offset, out);
    }

  private:
    Jet::MemoryPageSource memory_;
    mutable std::map<std::uint64_t, int> reads_;
};

// True when some "…, page N: " in `finding` names a page below `pages`: the page the damage
// lies on is named that way, and a table's name may hold anything.
bool NamesPageInside(const std::string& finding, std::uint64_t pages) {
    for (std::size_t at = finding.find(", page "); at != std::string::npos;
         at = finding.find(", page ", at + 1)) {
        char* end = nullptr;
        const unsigned long long page = std::strtoull(finding.c_str() + at + 7, &end, 10);
        if (end != finding.c_str() + at + 7 && *end == ':' && page < pages) return true;
    }
    return false;
}

bool Same(const Jet::CheckReport& a, const Jet::CheckReport& b) {
    const auto rows = [](const Jet::TableRows& x, const Jet::TableRows& y) {
        return x.Name == y.Name && x.System == y.System && x.LiveRows == y.LiveRows;
    };
    return a.Outcome == b.Outcome && a.Finding == b.Finding && a.Notes == b.Notes &&
           a.UnknownFormat == b.UnknownFormat && a.Pages.Total == b.Pages.Total &&
           a.Pages.InUse == b.Pages.InUse && a.Pages.Unreferenced == b.Pages.Unreferenced &&
           std::equal(a.Tables.begin(), a.Tables.end(), b.Tables.begin(), b.Tables.end(), rows);
}

void CheckFile(const std::vector<unsigned char>& bytes) {
    const WatchedSource source(bytes);
    const Jet::CheckReport report = Jet::CheckDatabase(source);
    Components::Posix::SpareThread second;
    Require(Same(Jet::CheckDatabase(Jet::MemoryPageSource(bytes), &second), report),
            "a second thread changed the report");
    using Jet::Verdict;
    Require(report.Outcome != Verdict::kUnreadable, "a read of memory failed");
    Require((report.Outcome == Verdict::kSound) == report.Finding.empty(),
            "a finding must be given exactly when the file is not sound");

    // The header's facts: the start, the signature, a known version and whole pages.
    const bool header = bytes.size() > 0x14 && std::memcmp(&bytes[0], "\0\1\0\0", 4) == 0;
    const bool jet = header && std::memcmp(&bytes[4], "Standard Jet DB", 16) == 0;
    const bool ace = header && std::memcmp(&bytes[4], "Standard ACE DB", 16) == 0;
    const unsigned version = jet || ace ? bytes[0x14] : 0;
    const bool known = (jet && version <= 1) || (ace && version >= 2 && version <= 6);
    Require(report.UnknownFormat == ((jet || ace) && !known), "an unknown format without cause");
    const std::size_t pageSize = version == 0 ? 2048 : 4096;
    if (!known || bytes.size() % pageSize != 0) {
        Require(report.Outcome != Verdict::kSound, "sound, but the header is no database's");
        return;
    }
    const std::uint64_t pages = bytes.size() / pageSize;
    const Jet::PageTally& tally = report.Pages;
    if (report.Outcome == Verdict::kSound) {
        Require(tally.Total == pages, "sound, with a page count that is not the file's");
        // Pages 0 and 1 and the catalog's definition are always in use.
        Require(tally.InUse >= 3, "sound, with fewer than three pages in use");
        Require(std::any_of(report.Tables.begin(), report.Tables.end(),
                            [](const Jet::TableRows& t) { return t.Name == "MSysObjects"; }),
                "sound, with a catalog that does not list itself");
    }
    if (tally.Total != 0) {
        Require(tally.Total == pages, "counted pages that are not the file's");
        Require(tally.InUse + tally.Free == tally.Total, "the pages in use and free do not add up");
        Require(tally.Unreferenced <= tally.InUse, "more pages unreferenced than in use");
    }
    std::uint64_t rows = 0;
    for (const Jet::TableRows& t : report.Tables) rows += t.LiveRows;
    // A live row takes at least its two-byte slot in a row table.
    Require(rows <= bytes.size() / 2, "more live rows than the file can hold");
    if (report.Outcome == Verdict::kDamaged &&
        report.Finding.find(", page ") != std::string::npos &&
        report.Finding.starts_with("table ")) {
        Require(NamesPageInside(report.Finding, pages), "damage named on a page outside the file");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    // An exact-size copy, so that any read past its end is a heap overflow.
    const std::vector<unsigned char> bytes(data + 8, data + size);
    CheckFile(bytes);
    return 0;
}
