#include <algorithm>

#include "components/jet/DatabaseCheck.h"

namespace Jet {

namespace {

const TableRows* Find(const CheckReport& report, const std::string& name) {
    const auto it = std::find_if(report.Tables.begin(), report.Tables.end(),
                                 [&](const TableRows& t) { return t.Name == name; });
    return it == report.Tables.end() ? nullptr : &*it;
}

}  // namespace

std::optional<std::string> CopyShortfall(const CheckReport& source, const CheckReport& copy,
                                         const std::string& copyName) {
    // Rows read from a damaged source are still rows the copy must hold.
    if (source.Outcome != Verdict::kSound && source.Outcome != Verdict::kDamaged) return {};
    if (copy.Outcome == Verdict::kNotChecked) return {};
    const std::string head = "The compacted copy '" + copyName + "' ";
    const std::string tail = "; the database has not been replaced";
    if (copy.Outcome != Verdict::kSound) {
        return head + (copy.Outcome == Verdict::kDamaged ? "is damaged: " : "cannot be read: ") +
               copy.Finding + tail;
    }
    for (const TableRows& table : source.Tables) {
        if (table.System) continue;
        const TableRows* copied = Find(copy, table.Name);
        if (copied == nullptr) return head + "lacks table " + table.Name + tail;
        if (copied->LiveRows < table.LiveRows) {
            return head + "holds " + std::to_string(copied->LiveRows) + " of the " +
                   std::to_string(table.LiveRows) + " rows of table " + table.Name + tail;
        }
    }
    // The engine adds its records to those an earlier compaction left; only the new ones were
    // lost this time.
    const TableRows* before = Find(source, "MSysCompactError");
    const std::uint64_t old = before ? before->LiveRows : 0;
    if (const TableRows* errors = Find(copy, "MSysCompactError");
        errors && errors->LiveRows > old) {
        return head + "lists " + std::to_string(errors->LiveRows - old) +
               " records the engine could not copy in its table MSysCompactError" + tail;
    }
    return {};
}

}  // namespace Jet
