// The database engine's own error numbers (its trappable DAO/Jet errors) that this program
// raises itself on either platform, and the engine's wording of a database in use, so that
// the program's own reports read as the engine's do.
#pragma once

#include <cstdint>
#include <string>

namespace Components {

enum : std::int32_t {
    kEngineFileNotFound = 3024,        // Could not find file '<name>'.
    kEngineDiskFull = 3026,            // Not enough space on disk.
    kEngineReadOnly = 3027,            // Cannot update. Database or object is read-only.
    kEngineWorkgroupMissing = 3028,    // Cannot start ... workgroup information file is missing.
    kEngineNotValidAccount = 3029,     // Not a valid account name or password.
    kEngineDiskError = 3043,           // Disk or network error.
    kEngineInvalidPath = 3044,         // '<path>' isn't a valid path.
    kEngineNotValidPassword = 3031,    // Not a valid password.
    kEngineNoObjectPermission = 3033,  // You do not have the necessary permissions to use '<name>'.
    kEngineFileInUse = 3045,           // Could not use '<name>'; file already in use.
    kEngineCannotOpenDatabase = 3049,  // Cannot open database '<name>' ... may be corrupt.
    kEngineCannotLock = 3050,          // Could not lock file.
    kEngineNoPermission = 3051,        // The engine cannot open the file '<name>' ... permission.
    kEngineCannotRepair = 3056,        // Could not repair this database.
    kEngineDatabaseExists = 3204,      // Database already exists.
    kEngineUnrecognisedFormat = 3343,  // Unrecognized database format '<name>'.
};

// The description of kEngineFileInUse, without its closing full stop: a caller may add what
// else it knows.
inline std::string InUseDescription(const std::string& path) {
    return "Could not use '" + path + "'; file already in use by another process";
}

}  // namespace Components
