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
    // it when the database has none) and the other extended attributes. Windows: the DACL with
    // whether it inherits (an inheriting one is carried as its explicit entries, the folder's
    // inherited ones applied again), the group and the owner.
    // Raises Err::Error when the permission bits, the ACL/DACL or the group cannot be given:
    // the copy must then not take the database's place. Only the owner, and on POSIX
    // extended attributes outside the ACL, may be out of this process's reach: the answer is
    // then one line for the log that says so and names the copy's owner; otherwise empty.
    virtual std::string CarryOver(std::string database, std::string copy) = 0;
};

std::unique_ptr<AccessRules> CreatePlatformInstance(Tag<AccessRules>);

}  // namespace Components
