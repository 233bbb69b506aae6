// Stores a generic credential as cmdkey /generic does, for the suite's unattended runs:
// StoreCredential TARGET, the password read as one line of standard input.
#include <windows.h>

#include <wincred.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    wchar_t password[256] = {};
    if (argc != 2 || !fgetws(password, 256, stdin)) return 2;
    password[wcscspn(password, L"\r\n")] = 0;
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = argv[1];
    credential.CredentialBlobSize = static_cast<DWORD>(wcslen(password) * sizeof(wchar_t));
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(password);
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    credential.UserName = const_cast<wchar_t*>(L"tolvane");
    return CredWriteW(&credential, 0) ? 0 : 1;
}
