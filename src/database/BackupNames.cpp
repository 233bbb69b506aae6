#include <cstdio>
#include <limits>
#include <utility>

#include "components/FileTools.h"
#include "database/DAO_DatabaseFunctions.h"
#include "database/Safeguards.h"

namespace DAO_DatabaseFunctions {

std::string BackupName(const std::string& pathWithoutExtension, std::int16_t number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d", static_cast<int>(number));
    return pathWithoutExtension + "-" + digits + ".BAK";
}

BackupSearch FindBackupName(const std::string& path) {
    auto& tools = Components::The<Components::FileTools>();
    BackupSearch search;
    Err::ResumeNext resume;
    std::int32_t lastLookupError = 0;
    int sameInARow = 0;
    for (int number = 1; number <= std::numeric_limits<std::int16_t>::max(); ++number) {
        std::string candidate;
        // A name that cannot be looked at counts as taken: it may hold someone's file.
        if (resume.Step([&] {
                candidate =
                    BackupName(tools.PathWithoutExtension(path), static_cast<std::int16_t>(number));
                if (tools.FileSize(candidate) >= 0) candidate.clear();
            })) {
            sameInARow = 0;
            if (!candidate.empty()) {
                search.Name = candidate;
                return search;
            }
            continue;
        }
        sameInARow = Err::Current().Number == lastLookupError ? sameInARow + 1 : 1;
        lastLookupError = Err::Current().Number;
        if (sameInARow == kSameLookupErrorsInARow) {
            search.Cause = std::move(Err::Current());
            return search;
        }
    }
    search.Exhausted = true;
    return search;
}

}  // namespace DAO_DatabaseFunctions
