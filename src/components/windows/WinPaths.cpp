#include "components/windows/WinPaths.h"

#include "components/windows/Win32.h"

#include <functional>

#include "components/windows/WinText.h"

namespace Components::Win {

namespace {

constexpr std::wstring_view kLocal = L"\\\\?\\";
constexpr std::wstring_view kShare = L"\\\\?\\UNC\\";

// What a path service writes, grown until it fits; empty when the service fails.
std::wstring Asked(const std::function<DWORD(wchar_t*, DWORD)>& service) {
    std::wstring answer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = service(answer.data(), static_cast<DWORD>(answer.size()));
        if (n == 0) return {};
        if (n < answer.size()) {
            answer.resize(n);
            return answer;
        }
        answer.resize(n);
    }
}

std::wstring WithoutPrefix(const std::wstring& path) {
    if (path.starts_with(kShare)) return L"\\\\" + path.substr(kShare.size());
    if (path.starts_with(kLocal)) return path.substr(kLocal.size());
    return path;
}

std::wstring ShortForm(const std::wstring& path) {
    return Asked(
        [&](wchar_t* out, DWORD size) { return GetShortPathNameW(path.c_str(), out, size); });
}

}  // namespace

std::wstring FilePath(std::string_view utf8) {
    const std::wstring wide = Wide(utf8);
    // "\\.\" names a device, and a "\\?\" path is already as the system takes it.
    if (wide.size() < MAX_PATH || wide.starts_with(L"\\\\?\\") || wide.starts_with(L"\\\\.\\")) {
        return wide;
    }
    // The "\\?\" form is taken literally: a relative part, a "..", a "/" must be resolved first,
    // as the system would have resolved them below MAX_PATH.
    const std::wstring full = Asked([&](wchar_t* out, DWORD size) {
        return GetFullPathNameW(wide.c_str(), size, out, nullptr);
    });
    // One the system cannot even make whole fails in the call, with the call's own error.
    if (full.empty()) return wide;
    if (full.starts_with(L"\\\\")) return std::wstring(kShare) + full.substr(2);
    return std::wstring(kLocal) + full;
}

std::string ShortEnough(const std::string& utf8) {
    if (Wide(utf8).size() < MAX_PATH) return utf8;
    const std::wstring full = FilePath(utf8);
    std::wstring shortened = ShortForm(full);
    const auto separator = full.find_last_of(L'\\');
    if (shortened.empty() && separator != std::wstring::npos) {
        const std::wstring folder = ShortForm(full.substr(0, separator));
        if (!folder.empty()) shortened = folder + full.substr(separator);
    }
    shortened = WithoutPrefix(shortened);
    return shortened.empty() || shortened.size() >= MAX_PATH ? std::string() : Utf8(shortened);
}

}  // namespace Components::Win
