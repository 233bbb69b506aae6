// Holds the file named by its argument open with no sharing, as a user who has the database
// open exclusively does, here or on another computer through a file share. Prints "held" once
// it has it and keeps it until it is ended.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>

int main() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count != 2) return 2;
    const HANDLE file = CreateFileW(arguments[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::puts("held");
    std::fflush(stdout);
    Sleep(INFINITE);
}
