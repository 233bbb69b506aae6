#include "database/Passwords.h"

#include "components/Credentials.h"
#include "components/CurrentError.h"
#include "components/EngineErrors.h"
#include "components/UserInterface.h"

namespace DAO_DatabaseFunctions {

namespace {

using Components::The;

constexpr int kTries = 3;

// Gone from memory once used, not merely freed.
void Wipe(std::string& secret) {
    for (char& c : secret) *static_cast<volatile char*>(&c) = '\0';
    secret.clear();
}

// True when the engine took it; false on 3031; anything else passes on.
bool Accepted(const std::function<void(const std::string&)>& compact, const std::string& password) {
    const Err::CurrentErrorRecord before = Err::Current();
    try {
        compact(password);
        return true;
    } catch (const Err::Error& error) {
        if (error.Number() != Components::kEngineNotValidPassword) throw;
        // The refusal was an answer, not the run's error.
        Err::Current() = before;
        return false;
    }
}

void CompactWithStored(const std::string& path,
                       const std::function<void(const std::string&)>& compact) {
    auto& credentials = The<Components::Credentials>();
    std::optional<std::string> stored;
    try {
        stored = credentials.Stored(path);
    } catch (const Err::Error& error) {
        Err::Raise(Components::kEngineNotValidPassword,
                   "Not a valid password: the database '" + path +
                       "' needs a password, and its store cannot be used: " + error.Description());
    }
    if (!stored) {
        Err::Raise(Components::kEngineNotValidPassword,
                   "Not a valid password: the database '" + path +
                       "' needs a password, and none is stored for it; " +
                       credentials.WhereToStore(path));
    }
    const bool accepted = Accepted(compact, *stored);
    Wipe(*stored);
    if (!accepted) {
        Err::Raise(Components::kEngineNotValidPassword,
                   "Not a valid password: the password stored for the database '" + path +
                       "' was not accepted; " + credentials.WhereToStore(path));
    }
}

bool CompactWithAnswer(const std::string& path,
                       const std::function<void(const std::string&)>& compact) {
    auto& credentials = The<Components::Credentials>();
    auto& pointer = The<Components::MousePointer>();
    for (int attempt = 0;; ++attempt) {
        const std::int32_t shape = pointer.Get();
        pointer.Set(Components::kPointerDefault);
        std::optional<Components::Answer> answer = credentials.Ask(path, attempt > 0);
        pointer.Set(shape);
        if (!answer) return false;
        bool accepted = false;
        try {
            accepted = attempt + 1 < kTries ? Accepted(compact, answer->Password)
                                            : (compact(answer->Password), true);
        } catch (...) {
            Wipe(answer->Password);
            throw;
        }
        if (accepted && answer->Remember) {
            try {
                credentials.Remember(path, answer->Password);
            } catch (const Err::Error& error) {
                qnGeneral::WriteLog(
                    "The password of '" + path +
                        "' was accepted but could not be stored: " + error.Description(),
                    -1, qnGeneral::kIndentNone);
            }
        }
        Wipe(answer->Password);
        if (accepted) return true;
    }
}

}  // namespace

bool CompactWithPassword(const std::string& path, qnGeneral::Truth SilentMode,
                         const std::function<void(const std::string&)>& compact) {
    if (Accepted(compact, {})) return true;
    if (SilentMode != 0) {
        CompactWithStored(path, compact);
        return true;
    }
    return CompactWithAnswer(path, compact);
}

}  // namespace DAO_DatabaseFunctions
