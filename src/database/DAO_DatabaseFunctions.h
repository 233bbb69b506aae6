// Database maintenance: compacting and repairing a database file in place.
#pragma once

#include <memory>
#include <string>

#include "components/FileDialogs.h"
#include "database/Outcome.h"
#include "general/qnGeneral.h"

namespace DAO_DatabaseFunctions {

// Compacts and repairs the database at DatabasePath (empty: the file chosen through
// DialogControl, started in InitialFolder): the engine writes a compacted copy beside it, the
// old file becomes the first free "-NNNN.BAK" backup and the copy takes the database's
// name. True only when the database's name holds the compacted copy and the backup the old
// file; on every failure the database is left under its own name, or, should even the
// undoing fail, the report names where both files are.
qnGeneral::Truth CompactRepairDatabase(std::string DatabasePath,
                                       std::shared_ptr<Components::DialogObject>& DialogControl,
                                       std::string InitialFolder, qnGeneral::Truth SilentMode);

// The same work, telling what it came to: what it said, where the old database and any copy
// left beside it are, and the sizes before and after.
Outcome CompactRepair(std::string DatabasePath,
                      std::shared_ptr<Components::DialogObject>& DialogControl,
                      std::string InitialFolder, qnGeneral::Truth SilentMode);

// The backup name for a number: the path without its extension, "-", at least four digits.
std::string BackupName(const std::string& pathWithoutExtension, std::int16_t number);

}  // namespace DAO_DatabaseFunctions
