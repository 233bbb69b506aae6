// Where a database's password, or a workgroup account's, comes from: a store the user keeps
// for unattended runs, or the user, asked. Passwords are UTF-8; none of them ever reaches a log
// line, an output stream, a command line or the environment through this component.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <optional>
#include <string>
#include <utility>

namespace Components {

struct Answer {
    std::string Password;
    bool Remember = false;  // the user asked that it be stored once it is known to be right
};

// Whose password: the database at the full path `Path`, or, with a `User`, that account of the
// workgroup information file at the full path `Path`.
struct PasswordOf {
    PasswordOf(std::string path, std::string user = {})
        : Path(std::move(path)), User(std::move(user)) {}
    std::string Path, User;
    bool Account() const { return !User.empty(); }
    // What the stores are keyed by on either platform: the path, or "workgroup:<path>:<user>".
    std::string Key() const { return Account() ? "workgroup:" + Path + ":" + User : Path; }
};

class Credentials {
  public:
    virtual ~Credentials() = default;

    // The password stored for `of`: for a database one stored for it alone before one for its
    // folder or a pattern, for an account only one stored under its key; nothing when none is
    // stored. A store the user keeps where others may read it is refused: raises Err::Error
    // naming it.
    virtual std::optional<std::string> Stored(const PasswordOf& of) = 0;

    // Asks the user for the password of `of`; `again` when the last one given was not
    // accepted. Nothing when the user cancels, or there is no one to ask. Raises Err::Error when
    // nothing can be asked.
    virtual std::optional<Answer> Ask(const PasswordOf& of, bool again) = 0;

    // Stores `password` for `of`, as Stored finds it. Raises Err::Error on failure.
    virtual void Remember(const PasswordOf& of, const std::string& password) = 0;

    // Where and how a password for `of` can be stored, as a report says it.
    virtual std::string WhereToStore(const PasswordOf& of) = 0;
};

std::unique_ptr<Credentials> CreatePlatformInstance(Tag<Credentials>);

}  // namespace Components
