#include "components/windows/WinText.h"

#include "components/windows/Win32.h"

#include <climits>

#include "components/CurrentError.h"

namespace Components::Win {

namespace {

int Length(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) Err::Raise(Err::kOverflow, "Overflow");
    return static_cast<int>(size);
}

}  // namespace

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), Length(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), Length(utf8.size()), wide.data(), n);
    return wide;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), Length(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), Length(wide.size()), utf8.data(), n, nullptr,
                        nullptr);
    return utf8;
}

std::string Narrow(std::string_view utf8) {
    const std::wstring wide = Wide(utf8);
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), Length(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), Length(wide.size()), narrow.data(), n, nullptr,
                        nullptr);
    return narrow;
}

}  // namespace Components::Win
