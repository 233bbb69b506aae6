// Where a database's password comes from: a store the user keeps for unattended runs, or the
// user, asked. Passwords are UTF-8; none of them ever reaches a log line, an output stream, a
// command line or the environment through this component.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <optional>
#include <string>

namespace Components {

struct Answer {
    std::string Password;
    bool Remember = false;  // the user asked that it be stored once it is known to be right
};

class Credentials {
  public:
    virtual ~Credentials() = default;

    // The password stored for the database at the full path `database`, one stored for it
    // alone before one for its folder or a pattern; nothing when none is stored. A store the
    // user keeps where others may read it is refused: raises Err::Error naming it.
    virtual std::optional<std::string> Stored(const std::string& database) = 0;

    // Asks the user for the password of `database`; `again` when the last one given was not
    // accepted. Nothing when the user cancels, or there is no one to ask. Raises Err::Error when
    // nothing can be asked.
    virtual std::optional<Answer> Ask(const std::string& database, bool again) = 0;

    // Stores `password` for `database`, as Stored finds it. Raises Err::Error on failure.
    virtual void Remember(const std::string& database, const std::string& password) = 0;

    // Where and how a password for `database` can be stored, as a report says it.
    virtual std::string WhereToStore(const std::string& database) = 0;
};

std::unique_ptr<Credentials> CreatePlatformInstance(Tag<Credentials>);

}  // namespace Components
