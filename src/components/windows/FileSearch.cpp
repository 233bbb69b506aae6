#include "components/FileSearch.h"

#include "components/windows/Win32.h"
#include "components/windows/WinErrors.h"
#include "components/windows/WinPaths.h"
#include "components/windows/WinText.h"

namespace Components {

namespace {

std::wstring Upper(std::string_view utf8) {
    std::wstring wide = Win::Wide(utf8);
    if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return wide;
}

// * and ? over whole names, the last * taken back on a mismatch: linear, however the pattern
// is made.
bool WildMatch(const std::wstring& name, const std::wstring& pattern) {
    std::size_t n = 0, p = 0, starP = std::wstring::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == name[n])) {
            ++n, ++p;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            starP = p++, starN = n;
        } else if (starP != std::wstring::npos) {
            p = starP + 1, n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

class WindowsFileSearch final : public FileSearch {
  public:
    std::vector<FolderEntry> Entries(std::string folder) override {
        if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
        WIN32_FIND_DATAW found;
        const HANDLE search =
            FindFirstFileExW(Win::FilePath(folder + "*").c_str(), FindExInfoBasic, &found,
                             FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (search == INVALID_HANDLE_VALUE) Win::RaiseLastError("Entries '" + folder + "'");
        std::vector<FolderEntry> entries;
        do {
            const std::string name = Win::Utf8(found.cFileName);
            if (name == "." || name == "..") continue;
            const DWORD attributes = found.dwFileAttributes;
            // A junction or a link is reached through a reparse point: neither, so no walk
            // leaves the tree it was given.
            const bool plain = !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
            const bool folderEntry = attributes & FILE_ATTRIBUTE_DIRECTORY;
            entries.push_back(
                {name, folder + name, plain && !folderEntry, plain && folderEntry,
                 static_cast<std::int64_t>(
                     (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                     found.ftLastWriteTime.dwLowDateTime)});
        } while (FindNextFileW(search, &found));
        const DWORD error = GetLastError();
        FindClose(search);
        if (error != ERROR_NO_MORE_FILES) {
            SetLastError(error);
            Win::RaiseLastError("Entries '" + folder + "'");
        }
        return entries;
    }

    bool IsFolder(std::string path) override {
        const DWORD attributes = GetFileAttributesW(Win::FilePath(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    // Matched on the long name only: the system's own matching also tries the short name, so
    // that *.mdb would find Old.mdbx through OLD~1.MDB.
    bool Matches(std::string name, std::string pattern) override {
        return WildMatch(Upper(name), Upper(pattern));
    }

    bool SameName(std::string a, std::string b) override { return Upper(a) == Upper(b); }
};

}  // namespace

std::unique_ptr<FileSearch> CreatePlatformInstance(Tag<FileSearch>) {
    return std::make_unique<WindowsFileSearch>();
}

}  // namespace Components
