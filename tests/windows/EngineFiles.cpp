#include "EngineFiles.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <span>

#include "components/jet/Reader.h"

bool DropRow(const std::wstring& path) {
    namespace J = Jet::Detail;
    FILE* f = _wfopen(path.c_str(), L"r+b");
    if (!f) return false;
    std::vector<std::uint8_t> bytes;
    for (int c; (c = fgetc(f)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
    long at = -1;
    try {
        const Jet::MemoryPageSource source(bytes);
        const J::Header header = J::ReadHeader(source);
        J::Pages pages(source, header);
        const J::Format& fmt = pages.Fmt();
        const auto catalog = J::ReadCatalog(pages);
        for (const J::CatalogEntry& entry : catalog) {
            if (entry.system || at >= 0 || header.databaseKey != 0) continue;
            for (std::uint32_t p = 0; p < pages.Count() && at < 0; ++p) {
                const J::Pages::Handle page = pages.Get(p);
                if (!J::IsDataPage(*page) || J::U32(*page, 4) != entry.page) continue;
                const auto slots = J::RowSlots(*page, fmt, entry.name);
                for (std::size_t i = 0; i < slots.size() && at < 0; ++i) {
                    if (slots[i].deleted || slots[i].overflow) continue;
                    at = static_cast<long>(p * fmt.pageSize + fmt.rowCountAt + 2 + 2 * i + 1);
                }
            }
        }
    } catch (...) {
    }
    const bool dropped = at >= 0 && fseek(f, at, SEEK_SET) == 0 &&
                         fputc(bytes[static_cast<std::size_t>(at)] | 0x80, f) != EOF;
    return fclose(f) == 0 && dropped;
}

std::vector<std::uint8_t> ReadAll(const wchar_t* path) {
    std::vector<std::uint8_t> bytes;
    if (FILE* f = _wfopen(path, L"rb")) {
        for (int c; (c = fgetc(f)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
        fclose(f);
    }
    return bytes;
}

bool SetPassword(const wchar_t* path, const std::wstring& password) {
    std::vector<std::uint8_t> bytes = ReadAll(path);
    if (bytes.size() < 0x98 || bytes[0x14] == 0) return password.empty();
    const std::span range(bytes.data() + 0x18, 0x80);
    Jet::Detail::Rc4(0x6B39DAC7, range);
    double created = 0;
    std::memcpy(&created, bytes.data() + 0x72, sizeof created);
    const auto mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(created));
    for (std::size_t i = 0; i < 40; ++i) {
        const wchar_t unit = i / 2 < password.size() ? password[i / 2] : 0;
        bytes[0x42 + i] =
            static_cast<std::uint8_t>((i % 2 ? unit >> 8 : unit) ^ mask >> 8 * (i % 4));
    }
    Jet::Detail::Rc4(0x6B39DAC7, range);
    FILE* f = _wfopen(path, L"r+b");
    const bool written = f && fwrite(bytes.data(), 1, 0x98, f) == 0x98;
    return (f ? fclose(f) == 0 : false) && written;
}
