// Who may read and change a file: carried from the database to its compacted copy.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <string>

namespace Components {

class AccessRules {
  public:
    virtual ~AccessRules() = default;

    // Gives the file `copy` the access rules of the file `database`, so that the copy shuts
    // out everyone the database shut out and lets in no one else. POSIX: the permission bits,
    // the group, the owner, the access ACL (a copy given one by its folder's default ACL loses
    // it when the database has none) and the other extended attributes. Windows: the owner,
    // the group, then the DACL with whether it inherits (an inheriting one is carried as its
    // explicit entries, the folder's inherited ones applied again), and the DACL read back:
    // one that allows an account more than the database's allows it, or lacks a denial of
    // the database's, is refused. A volume that keeps no security (FAT, exFAT, some file
    // servers) has none to carry.
    // Raises Err::Error when the permission bits or the ACL/DACL cannot be given, or the copy
    // would grant more: the copy must then not take the database's place; on POSIX also when
    // the group cannot be given. The answer is one line for the log, empty when all was
    // carried; it says what was not: no security kept on Windows, an owner out of this
    // process's reach (naming the copy's owner), on Windows a group, on POSIX extended
    // attributes outside the ACL.
    virtual std::string CarryOver(std::string database, std::string copy) = 0;
};

std::unique_ptr<AccessRules> CreatePlatformInstance(Tag<AccessRules>);

}  // namespace Components
