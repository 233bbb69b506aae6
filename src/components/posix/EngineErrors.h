// The database engine's own error numbers (its trappable DAO/Jet errors) that the POSIX
// stand-in raises. The descriptions are this program's wording and name the path.
#pragma once

#include <cstdint>

namespace Components::Posix {

enum : std::int32_t {
    kEngineFileNotFound = 3024,        // Could not find file '<name>'.
    kEngineDiskFull = 3026,            // Not enough space on disk.
    kEngineReadOnly = 3027,            // Cannot update. Database or object is read-only.
    kEngineDiskError = 3043,           // Disk or network error.
    kEngineInvalidPath = 3044,         // '<path>' isn't a valid path.
    kEngineFileInUse = 3045,           // Could not use '<name>'; file already in use.
    kEngineCannotOpenDatabase = 3049,  // Cannot open database '<name>' ... may be corrupt.
    kEngineCannotLock = 3050,          // Could not lock file.
    kEngineNoPermission = 3051,        // The engine cannot open the file '<name>' ... permission.
    kEngineCannotRepair = 3056,        // Could not repair this database.
    kEngineDatabaseExists = 3204,      // Database already exists.
    kEngineUnrecognisedFormat = 3343,  // Unrecognized database format '<name>'.
};

}  // namespace Components::Posix
