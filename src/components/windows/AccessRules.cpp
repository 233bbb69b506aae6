// The database's security given to its compacted copy through the file handles, so that both
// are the files the names meant when they were opened.
#include "components/AccessRules.h"

#include "components/windows/Win32.h"

#include <aclapi.h>
#include <sddl.h>

#include <functional>
#include <optional>
#include <vector>

#include "components/CurrentError.h"
#include "components/windows/WinErrors.h"
#include "components/windows/WinPaths.h"
#include "components/windows/WinText.h"

namespace Components {

namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

[[noreturn]] void Refuse(DWORD code, const std::string& what) {
    Err::Current().LastDllError = code;
    Err::Raise(Win::ErrorNumberFor(code), what + " (system error " + std::to_string(code) + ")");
}

class Handle {
  public:
    // Check Valid(); GetLastError() says why when it is not.
    Handle(const std::string& path, DWORD access)
        : handle_(CreateFileW(Win::FilePath(path).c_str(), access,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr)) {}
    ~Handle() {
        if (Valid()) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_;
};

// What GetSecurityInfo gives, freed with the descriptor it points into.
struct Security {
    PSID owner = nullptr, group = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ~Security() { LocalFree(descriptor); }
};

void Read(const std::string& path, SECURITY_INFORMATION what, Security& security) {
    const Handle file(path, READ_CONTROL);
    if (!file.Valid()) Refuse(GetLastError(), Quoted(path) + " cannot be opened");
    const DWORD error =
        GetSecurityInfo(file.Get(), SE_FILE_OBJECT, what, &security.owner, &security.group,
                        &security.dacl, nullptr, &security.descriptor);
    if (error != ERROR_SUCCESS)
        Refuse(error, "the security of " + Quoted(path) + " cannot be read");
}

// "DOMAIN\name", or the SID as text when no name is known for it.
std::string AccountName(PSID sid) {
    wchar_t name[256], domain[256];
    DWORD nameLength = 256, domainLength = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
        return Win::Utf8(domainLength > 0 ? std::wstring(domain) + L"\\" + name : name);
    }
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return "an account whose name cannot be found";
    const std::string result = Win::Utf8(text);
    LocalFree(text);
    return result;
}

// The entries the DACL holds itself, without those its folder gave it: the folder's are
// applied to the copy again by the system, as they are to any file made there.
std::vector<BYTE> ExplicitEntries(PACL dacl) {
    std::vector<BYTE> buffer(dacl->AclSize);
    const auto acl = reinterpret_cast<PACL>(buffer.data());
    if (!InitializeAcl(acl, dacl->AclSize, dacl->AclRevision)) {
        Refuse(GetLastError(), "the DACL cannot be copied");
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) Refuse(GetLastError(), "the DACL cannot be read");
        const auto header = static_cast<ACE_HEADER*>(ace);
        if (header->AceFlags & INHERITED_ACE) continue;
        if (!AddAce(acl, dacl->AclRevision, MAXDWORD, ace, header->AceSize)) {
            Refuse(GetLastError(), "the DACL cannot be copied");
        }
    }
    return buffer;
}

// Runs `action` with the privilege to give a file any owner enabled, where the process holds
// it (an administrator, a service), and puts the privilege back as it was.
DWORD WithRestorePrivilege(const std::function<DWORD()>& action) {
    HANDLE token = nullptr;
    TOKEN_PRIVILEGES wanted{}, before{};
    DWORD beforeSize = sizeof before;
    const bool adjusted =
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token) &&
        LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &wanted.Privileges[0].Luid) &&
        (wanted.PrivilegeCount = 1, wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED,
         AdjustTokenPrivileges(token, FALSE, &wanted, sizeof before, &before, &beforeSize));
    const DWORD result = action();
    if (adjusted) AdjustTokenPrivileges(token, FALSE, &before, 0, nullptr, nullptr);
    if (token != nullptr) CloseHandle(token);
    return result;
}

class Win32AccessRules final : public AccessRules {
  public:
    std::string CarryOver(std::string database, std::string copy) override {
        Security rules, now;
        Read(database,
             OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
             rules);
        Read(copy, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, now);
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        if (!GetSecurityDescriptorControl(rules.descriptor, &control, &revision)) {
            Refuse(GetLastError(), "the security of " + Quoted(database) + " cannot be read");
        }
        const bool inherits = (control & SE_DACL_PROTECTED) == 0;
        std::vector<BYTE> own;
        if (inherits && rules.dacl != nullptr) own = ExplicitEntries(rules.dacl);
        const PACL dacl = own.empty() ? rules.dacl : reinterpret_cast<PACL>(own.data());

        // The maker of a file may always change its DACL, but one with Modify rights on the
        // folder has no right to change its owner or group: that is asked for only when one
        // of them is to change.
        const auto differs = [](PSID have, PSID want) {
            return want != nullptr && (have == nullptr || !EqualSid(have, want));
        };
        const bool newGroup = differs(now.group, rules.group);
        const bool newOwner = differs(now.owner, rules.owner);
        const DWORD write = READ_CONTROL | WRITE_DAC;
        std::optional<Handle> target;
        if (newGroup || newOwner) target.emplace(copy, write | WRITE_OWNER);
        DWORD ownerError = ERROR_SUCCESS;
        if (!target || !target->Valid()) {
            ownerError = target ? GetLastError() : ERROR_SUCCESS;
            if (newGroup) Refuse(ownerError, "the group cannot be given to " + Quoted(copy));
            target.emplace(copy, write);
            if (!target->Valid()) Refuse(GetLastError(), Quoted(copy) + " cannot be opened");
        }

        DWORD error = SetSecurityInfo(
            target->Get(), SE_FILE_OBJECT,
            DACL_SECURITY_INFORMATION | (inherits ? UNPROTECTED_DACL_SECURITY_INFORMATION
                                                  : PROTECTED_DACL_SECURITY_INFORMATION),
            nullptr, nullptr, dacl, nullptr);
        if (error != ERROR_SUCCESS) Refuse(error, "the DACL cannot be given to " + Quoted(copy));
        if (newGroup) {
            error = SetSecurityInfo(target->Get(), SE_FILE_OBJECT, GROUP_SECURITY_INFORMATION,
                                    nullptr, rules.group, nullptr, nullptr);
            if (error != ERROR_SUCCESS)
                Refuse(error, "the group cannot be given to " + Quoted(copy));
        }
        if (!newOwner) return {};
        if (ownerError == ERROR_SUCCESS) {
            ownerError = WithRestorePrivilege([&] {
                return SetSecurityInfo(target->Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                       rules.owner, nullptr, nullptr, nullptr);
            });
        }
        if (ownerError == ERROR_SUCCESS) return {};
        return "The compacted copy " + Quoted(copy) + " could not be given the owner " +
               AccountName(rules.owner) + " of " + Quoted(database) + " (system error " +
               std::to_string(ownerError) + "); it is owned by " + AccountName(now.owner) + ".";
    }
};

}  // namespace

std::unique_ptr<AccessRules> CreatePlatformInstance(Tag<AccessRules>) {
    return std::make_unique<Win32AccessRules>();
}

}  // namespace Components
