#include "database/Passwords.h"

#include "components/Credentials.h"
#include "components/CurrentError.h"
#include "components/EngineErrors.h"
#include "components/UserInterface.h"

namespace DAO_DatabaseFunctions {

namespace {

using Components::PasswordOf;
using Components::The;
using Try = std::function<void(const std::string&)>;

constexpr int kTries = 3;

// The run's account, without its password, which is looked for at each compaction.
Components::Account& RunAccount() {
    static Components::Account account;
    return account;
}

// Gone from memory once used, not merely freed.
void Wipe(std::string& secret) {
    for (char& c : secret) *static_cast<volatile char*>(&c) = '\0';
    secret.clear();
}

std::string Shown(const PasswordOf& of) {
    return of.Account() ? "the user '" + of.User + "' of the workgroup '" + of.Path + "'"
                        : "the database '" + of.Path + "'";
}

// The engine's answer to a wrong password of `of`, and its words.
std::int32_t Refusal(const PasswordOf& of) {
    return of.Account() ? Components::kEngineNotValidAccount : Components::kEngineNotValidPassword;
}
std::string Refused(const PasswordOf& of) {
    return of.Account() ? "Not a valid account name or password: " : "Not a valid password: ";
}

// True when the engine took it; false when it refused it; anything else passes on.
bool Accepted(const Try& compact, const std::string& password, std::int32_t refusal) {
    const Err::CurrentErrorRecord before = Err::Current();
    try {
        compact(password);
        return true;
    } catch (const Err::Error& error) {
        if (error.Number() != refusal) throw;
        // The refusal was an answer, not the run's error.
        Err::Current() = before;
        return false;
    }
}

std::optional<std::string> StoredFor(const PasswordOf& of) {
    try {
        return The<Components::Credentials>().Stored(of);
    } catch (const Err::Error& error) {
        Err::Raise(Refusal(of),
                   Refused(of) + Shown(of) +
                       " needs a password, and its store cannot be used: " + error.Description());
    }
}

// The stored password, or, for an account, none when none is stored: an account often has none.
void CompactWithStored(const PasswordOf& of, const Try& compact) {
    auto& credentials = The<Components::Credentials>();
    std::optional<std::string> stored = StoredFor(of);
    if (!stored && !of.Account()) {
        Err::Raise(Refusal(of), Refused(of) + Shown(of) +
                                    " needs a password, and none is stored for it; " +
                                    credentials.WhereToStore(of));
    }
    const bool accepted = Accepted(compact, stored.value_or(""), Refusal(of));
    if (stored) Wipe(*stored);
    if (!accepted) {
        Err::Raise(Refusal(of),
                   Refused(of) +
                       (stored ? "the password stored for " + Shown(of) + " was not accepted; "
                               : Shown(of) + " needs a password, and none is "
                                             "stored for it; ") +
                       credentials.WhereToStore(of));
    }
}

bool CompactWithAnswer(const PasswordOf& of, const Try& compact) {
    auto& credentials = The<Components::Credentials>();
    auto& pointer = The<Components::MousePointer>();
    for (int attempt = 0;; ++attempt) {
        const std::int32_t shape = pointer.Get();
        pointer.Set(Components::kPointerDefault);
        std::optional<Components::Answer> answer = credentials.Ask(of, attempt > 0);
        pointer.Set(shape);
        if (!answer) return false;
        bool accepted = false;
        try {
            accepted = attempt + 1 < kTries ? Accepted(compact, answer->Password, Refusal(of))
                                            : (compact(answer->Password), true);
        } catch (...) {
            Wipe(answer->Password);
            throw;
        }
        if (accepted && answer->Remember) {
            try {
                credentials.Remember(of, answer->Password);
            } catch (const Err::Error& error) {
                qnGeneral::WriteLog(
                    "The password of " + Shown(of) +
                        " was accepted but could not be stored: " + error.Description(),
                    -1, qnGeneral::kIndentNone);
            }
        }
        Wipe(answer->Password);
        if (accepted) return true;
    }
}

bool CompactWithDatabasePassword(const std::string& path, qnGeneral::Truth SilentMode,
                                 const Try& compact) {
    if (Accepted(compact, {}, Components::kEngineNotValidPassword)) return true;
    if (SilentMode != 0) {
        CompactWithStored(path, compact);
        return true;
    }
    return CompactWithAnswer(path, compact);
}

}  // namespace

void UseWorkgroup(const std::string& workgroup, const std::string& user) {
    RunAccount() = {workgroup, user, {}};
}

bool CompactWithPassword(
    const std::string& path, qnGeneral::Truth SilentMode,
    const std::function<void(const std::string&, const Components::Account&)>& compact) {
    Components::Account account = RunAccount();
    if (account.Workgroup.empty()) {
        return CompactWithDatabasePassword(
            path, SilentMode, [&](const std::string& password) { compact(password, account); });
    }
    // Signed in, the engine may still need the database's own password.
    bool given = false;
    const Try signIn = [&](const std::string& password) {
        account.Password = password;
        given = CompactWithDatabasePassword(
            path, SilentMode, [&](const std::string& secret) { compact(secret, account); });
        Wipe(account.Password);
    };
    const PasswordOf of(account.Workgroup, account.User);
    try {
        if (SilentMode != 0) {
            CompactWithStored(of, signIn);
            return given;
        }
        std::optional<std::string> stored = StoredFor(of);
        const bool accepted =
            Accepted(signIn, stored.value_or(""), Components::kEngineNotValidAccount);
        if (stored) Wipe(*stored);
        return (accepted || CompactWithAnswer(of, signIn)) && given;
    } catch (...) {
        Wipe(account.Password);
        throw;
    }
}

}  // namespace DAO_DatabaseFunctions
