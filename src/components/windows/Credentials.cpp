// Passwords on Windows: the generic credentials of Credential Manager, "Tolvane:<full path>" for
// one database and "Tolvane:<folder>\*" for every database of a folder, as cmdkey /generic
// stores them, and "Tolvane:workgroup:<full path>:<user>" for an account of a workgroup file;
// asked for, with the system's credential prompt, which offers to remember it.
#include "components/Credentials.h"

#include "components/windows/Win32.h"

#include <wincred.h>

#include "components/CurrentError.h"
#include "components/windows/WinErrors.h"
#include "components/windows/WinText.h"

namespace Components {

namespace {

constexpr wchar_t kUser[] = L"tolvane";

std::wstring Target(const PasswordOf& of) { return L"Tolvane:" + Win::Wide(of.Key()); }

// An account has no folder's credential: its workgroup file's folder says nothing of it.
std::wstring FolderTarget(const PasswordOf& of) {
    const std::size_t slash = of.Path.find_last_of("\\/");
    return slash == std::string::npos || of.Account() ? std::wstring()
                                                      : Target(of.Path.substr(0, slash + 1) + "*");
}

std::wstring UserName(const PasswordOf& of) { return of.Account() ? Win::Wide(of.User) : kUser; }

void Wipe(std::wstring& secret) {
    SecureZeroMemory(secret.data(), secret.size() * sizeof(wchar_t));
    secret.clear();
}

std::optional<std::string> Read(const std::wstring& target) {
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &credential)) {
        if (GetLastError() == ERROR_NOT_FOUND) return std::nullopt;
        Win::RaiseLastError("CredReadW '" + Win::Utf8(target) + "'");
    }
    std::wstring password(reinterpret_cast<const wchar_t*>(credential->CredentialBlob),
                          credential->CredentialBlobSize / sizeof(wchar_t));
    SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
    CredFree(credential);
    std::string text = Win::Utf8(password);
    Wipe(password);
    return text;
}

class CredentialManager final : public Credentials {
  public:
    std::optional<std::string> Stored(const PasswordOf& of) override {
        if (auto password = Read(Target(of))) return password;
        const std::wstring folder = FolderTarget(of);
        return folder.empty() ? std::nullopt : Read(folder);
    }

    std::optional<Answer> Ask(const PasswordOf& of, bool again) override {
        const std::wstring message = Win::Wide(
            of.Account() ? "The user '" + of.User + "' of the workgroup information file '" +
                               of.Path + "' has a password. Type it to compact the database."
                         : "The database '" + of.Path + "' has a password. Type it to compact it.");
        CREDUI_INFOW info{sizeof info, nullptr, message.c_str(), L"Tolvane", nullptr};
        wchar_t user[CREDUI_MAX_USERNAME_LENGTH + 1] = L"tolvane";
        if (of.Account()) lstrcpynW(user, UserName(of).c_str(), CREDUI_MAX_USERNAME_LENGTH + 1);
        std::wstring password(CREDUI_MAX_PASSWORD_LENGTH + 1, L'\0');
        BOOL save = FALSE;
        const DWORD result = CredUIPromptForCredentialsW(
            &info, Target(of).c_str(), nullptr, again ? ERROR_INVALID_PASSWORD : 0, user,
            CREDUI_MAX_USERNAME_LENGTH + 1, password.data(), CREDUI_MAX_PASSWORD_LENGTH + 1, &save,
            CREDUI_FLAGS_GENERIC_CREDENTIALS | CREDUI_FLAGS_KEEP_USERNAME |
                CREDUI_FLAGS_DO_NOT_PERSIST | CREDUI_FLAGS_SHOW_SAVE_CHECK_BOX |
                CREDUI_FLAGS_ALWAYS_SHOW_UI | (again ? CREDUI_FLAGS_INCORRECT_PASSWORD : 0));
        if (result == ERROR_CANCELLED) {
            Wipe(password);
            return std::nullopt;
        }
        if (result != NO_ERROR) {
            Wipe(password);
            SetLastError(result);
            Win::RaiseLastError("CredUIPromptForCredentialsW");
        }
        password.resize(wcsnlen(password.c_str(), password.size()));
        Answer answer{Win::Utf8(password), save != FALSE};
        Wipe(password);
        if (answer.Password.empty()) return std::nullopt;
        return answer;
    }

    // Stored for this account only, where Stored looks.
    void Remember(const PasswordOf& of, const std::string& password) override {
        std::wstring target = Target(of), secret = Win::Wide(password), user = UserName(of);
        CREDENTIALW credential{};
        credential.Type = CRED_TYPE_GENERIC;
        credential.TargetName = target.data();
        credential.CredentialBlobSize = static_cast<DWORD>(secret.size() * sizeof(wchar_t));
        credential.CredentialBlob = reinterpret_cast<LPBYTE>(secret.data());
        credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
        credential.UserName = user.data();
        const bool written = CredWriteW(&credential, 0);
        const DWORD error = GetLastError();
        Wipe(secret);
        if (!written) {
            SetLastError(error);
            Win::RaiseLastError("CredWriteW '" + Win::Utf8(target) + "'");
        }
    }

    std::string WhereToStore(const PasswordOf& of) override {
        return "store it in Credential Manager as the generic credential 'Tolvane:" + of.Key() +
               "' (cmdkey /generic:\"Tolvane:" + of.Key() + "\" /user:" + Win::Utf8(UserName(of)) +
               " /pass)" +
               (of.Account() ? "" : ", or 'Tolvane:<folder>\\*' for every database of its folder") +
               ", as the account the run uses";
    }
};

}  // namespace

std::unique_ptr<Credentials> CreatePlatformInstance(Tag<Credentials>) {
    return std::make_unique<CredentialManager>();
}

}  // namespace Components
