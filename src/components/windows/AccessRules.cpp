// The database's security given to its compacted copy through the file handles, so that both
// are the files the names meant when they were opened.
#include "components/AccessRules.h"

#include "components/windows/Win32.h"

#include <aclapi.h>
#include <sddl.h>

#include <functional>
#include <optional>
#include <vector>

#include "components/AccessEntries.h"
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

DWORD Read(const Handle& file, SECURITY_INFORMATION what, Security& security) {
    return GetSecurityInfo(file.Get(), SE_FILE_OBJECT, what, &security.owner, &security.group,
                           &security.dacl, nullptr, &security.descriptor);
}

// FAT, exFAT and some SMB servers keep no security: the volume says so, or reading it is
// refused as a call the file system does not know.
bool KeepsSecurity(const Handle& file) {
    DWORD flags = 0;
    return !GetVolumeInformationByHandleW(file.Get(), nullptr, 0, nullptr, nullptr, &flags, nullptr,
                                          0) ||
           (flags & FILE_PERSISTENT_ACLS) != 0;
}
bool KeepsNoSecurity(DWORD error) {
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

std::string SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return "an account whose name cannot be found";
    const std::string result = Win::Utf8(text);
    LocalFree(text);
    return result;
}

// "DOMAIN\name", or the SID as text when no name is known for it.
std::string AccountName(PSID sid) {
    wchar_t name[256], domain[256];
    DWORD nameLength = 256, domainLength = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
        return Win::Utf8(domainLength > 0 ? std::wstring(domain) + L"\\" + name : name);
    }
    return SidText(sid);
}

std::string AccountName(const std::string& sidText) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(Win::Wide(sidText).c_str(), &sid)) return sidText;
    const std::string name = AccountName(sid);
    LocalFree(sid);
    return name;
}

// The entries that decide who may open the file itself, generic rights mapped as the system
// maps them for files. No DACL at all lets everyone do anything.
std::vector<AccessEntry> AppliedEntries(PACL dacl) {
    if (dacl == nullptr) return {{"S-1-1-0", true, MAXDWORD}};
    GENERIC_MAPPING files{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                          FILE_ALL_ACCESS};
    std::vector<AccessEntry> entries;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) Refuse(GetLastError(), "the DACL cannot be read");
        const auto header = static_cast<ACE_HEADER*>(ace);
        const bool allows = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;
        if (!allows && header->AceType != ACCESS_DENIED_ACE_TYPE) continue;
        // An allowing and a denying entry are laid out alike.
        const auto entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        DWORD mask = entry->Mask;
        MapGenericMask(&mask, &files);
        entries.push_back({SidText(&entry->SidStart), allows, mask});
    }
    return entries;
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

// What a user without the rights of an administrator meets when giving a file another owner.
bool LacksPrivilege(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_OWNER ||
           error == ERROR_PRIVILEGE_NOT_HELD;
}

bool Differs(PSID have, PSID want) {
    return want != nullptr && (have == nullptr || !EqualSid(have, want));
}

// Raises when the DACL `given` to the copy grants more than the database's. Where the copy
// kept another owner, its entries for that owner give it nothing it could not take: an owner
// may change the DACL at will. That it owns the copy is noted.
void RefuseWiderCopy(const Security& rules, const Security& given, bool otherOwner,
                     const std::string& copy) {
    std::vector<AccessEntry> entries = AppliedEntries(given.dacl);
    if (otherOwner) {
        const std::string owner = SidText(given.owner);
        std::erase_if(entries, [&](const AccessEntry& e) { return e.Allows && e.Sid == owner; });
    }
    if (const auto wider = FirstWiderEntry(AppliedEntries(rules.dacl), entries)) {
        Err::Raise(Err::kPermissionDenied, "the compacted copy " + Quoted(copy) + " would grant " +
                                               AccountName(wider->Sid) +
                                               " more than the database does");
    }
}

class Win32AccessRules final : public AccessRules {
  public:
    std::string CarryOver(std::string database, std::string copy) override {
        const Handle source(database, READ_CONTROL);
        if (!source.Valid()) Refuse(GetLastError(), Quoted(database) + " cannot be opened");
        Security rules;
        const DWORD readError = KeepsSecurity(source)
                                    ? Read(source,
                                           OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                               DACL_SECURITY_INFORMATION,
                                           rules)
                                    : ERROR_NOT_SUPPORTED;
        if (KeepsNoSecurity(readError)) {
            return Quoted(database) + " is on a file system that keeps no security: the " +
                   "compacted copy " + Quoted(copy) + " takes none from it.";
        }
        if (readError != ERROR_SUCCESS) {
            Refuse(readError, "the security of " + Quoted(database) + " cannot be read");
        }
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        if (!GetSecurityDescriptorControl(rules.descriptor, &control, &revision)) {
            Refuse(GetLastError(), "the security of " + Quoted(database) + " cannot be read");
        }
        const bool inherits = (control & SE_DACL_PROTECTED) == 0;
        std::vector<BYTE> own;
        if (inherits && rules.dacl != nullptr) own = ExplicitEntries(rules.dacl);
        const PACL dacl = own.empty() ? rules.dacl : reinterpret_cast<PACL>(own.data());

        // One handle for all of it, opened while this account owns the copy: its maker may
        // always change the DACL, its next owner's DACL may not let it. One with Modify rights
        // on the folder has no right to change the owner or group; it still gives the DACL.
        const DWORD write = READ_CONTROL | WRITE_DAC;
        std::optional<Handle> target(std::in_place, copy, write | WRITE_OWNER);
        DWORD ownerError = ERROR_SUCCESS;
        if (!target->Valid()) {
            ownerError = GetLastError();
            target.emplace(copy, write);
            if (!target->Valid()) Refuse(GetLastError(), Quoted(copy) + " cannot be opened");
        }
        Security now;
        DWORD error = Read(*target, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, now);
        if (error != ERROR_SUCCESS) {
            Refuse(error, "the security of " + Quoted(copy) + " cannot be read");
        }

        // The owner and group before the DACL: the entries the folder gives CREATOR OWNER and
        // CREATOR GROUP are given to whoever owns the copy when its DACL is set.
        const bool newOwner = Differs(now.owner, rules.owner);
        if (newOwner && ownerError == ERROR_SUCCESS) {
            ownerError = WithRestorePrivilege([&] {
                return SetSecurityInfo(target->Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                       rules.owner, nullptr, nullptr, nullptr);
            });
        }
        if (newOwner && ownerError != ERROR_SUCCESS && !LacksPrivilege(ownerError)) {
            Refuse(ownerError, "the owner cannot be given to " + Quoted(copy));
        }
        std::string notes;
        const auto note = [&](const std::string& line) {
            notes += (notes.empty() ? "" : " ") + line;
        };
        // Access checks never look at the primary group: one the copy cannot take is noted.
        if (Differs(now.group, rules.group)) {
            error = SetSecurityInfo(target->Get(), SE_FILE_OBJECT, GROUP_SECURITY_INFORMATION,
                                    nullptr, rules.group, nullptr, nullptr);
            if (error != ERROR_SUCCESS) {
                note("The compacted copy " + Quoted(copy) + " could not be given the group " +
                     AccountName(rules.group) + " of " + Quoted(database) + " (system error " +
                     std::to_string(error) + ").");
            }
        }
        error = SetSecurityInfo(
            target->Get(), SE_FILE_OBJECT,
            DACL_SECURITY_INFORMATION | (inherits ? UNPROTECTED_DACL_SECURITY_INFORMATION
                                                  : PROTECTED_DACL_SECURITY_INFORMATION),
            nullptr, nullptr, dacl, nullptr);
        if (error != ERROR_SUCCESS) Refuse(error, "the DACL cannot be given to " + Quoted(copy));

        Security given;
        error = Read(*target, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, given);
        if (error != ERROR_SUCCESS) {
            Refuse(error, "the security given to " + Quoted(copy) + " cannot be read back");
        }
        const bool otherOwner = Differs(given.owner, rules.owner);
        RefuseWiderCopy(rules, given, otherOwner, copy);
        if (otherOwner) {
            note("The compacted copy " + Quoted(copy) + " could not be given the owner " +
                 AccountName(rules.owner) + " of " + Quoted(database) +
                 (ownerError != ERROR_SUCCESS ? " (system error " + std::to_string(ownerError) + ")"
                                              : "") +
                 "; it is owned by " + AccountName(given.owner) + ".");
        }
        return notes;
    }
};

}  // namespace

std::unique_ptr<AccessRules> CreatePlatformInstance(Tag<AccessRules>) {
    return std::make_unique<Win32AccessRules>();
}

}  // namespace Components
