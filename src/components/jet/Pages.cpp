#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "components/jet/Reader.h"

namespace Jet {

bool MemoryPageSource::Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
}

}  // namespace Jet

namespace Jet::Detail {

namespace {

constexpr std::size_t kScrambledStart = 0x18;
constexpr std::uint32_t kHeaderKey = 0x6B39DAC7;

}  // namespace

void Rc4(std::uint32_t key, std::span<std::uint8_t> data) {
    std::array<std::uint8_t, 256> s;
    for (unsigned i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    const std::uint8_t k[4] = {static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8),
                               static_cast<std::uint8_t>(key >> 16),
                               static_cast<std::uint8_t>(key >> 24)};
    for (unsigned i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + k[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    unsigned i = 0, j = 0;
    for (auto& byte : data) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        byte ^= s[(s[i] + s[j]) & 0xFF];
    }
}

Format Format::ForVersion(unsigned version) {
    Format f;
    if (version == 0) {
        f.jet3 = true;
        f.pageSize = 2048;
        f.rowCountAt = 8;
        f.columnCountSize = 1;
        f.tdefStoredRowsAt = 12;
        f.tdefMaxColumnsAt = 21;
        f.tdefVarColumnsAt = 23;
        f.tdefColumnsAt = 25;
        f.tdefLogicalIndexesAt = 27;
        f.tdefRealIndexesAt = 31;
        f.tdefOwnedMapAt = 35;
        f.tdefFreeMapAt = 39;
        f.tdefBlocksAt = 43;
        f.realIndexCountBlock = 8;
        f.columnBlock = 18;
        f.realIndexBlock = 39;
        f.logicalIndexBlock = 20;
        f.indexPrefixLengthAt = 20;
        f.indexBitmapAt = 0x16;
        f.indexFirstEntryAt = 0xF8;
        f.indexNextAt = 12;
    }
    return f;
}

Header ReadHeader(const PageSource& source) {
    static constexpr std::uint8_t kStart[4] = {0x00, 0x01, 0x00, 0x00};
    static constexpr char kJet[] = "Standard Jet DB", kAce[] = "Standard ACE DB";
    std::array<std::uint8_t, 0x300> b{};
    const std::uint64_t size = source.Size();
    const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(size, b.size()));
    if (!source.Read(0, std::span(b).first(have)))
        throw Unreadable{"the first page cannot be read"};
    // Every byte the file has must agree with a database's start; a file that agrees but ends
    // before its version is a database cut short, not some other file.
    if (std::memcmp(b.data(), kStart, std::min<std::size_t>(have, 4)) != 0) {
        throw NotADatabase{"it does not begin as a database file does"};
    }
    const std::size_t signature = std::clamp<std::size_t>(have, 4, 0x14) - 4;
    const bool jet = std::memcmp(b.data() + 4, kJet, signature) == 0;
    const bool ace = std::memcmp(b.data() + 4, kAce, signature) == 0;
    if (!jet && !ace) throw NotADatabase{"it carries no database signature"};
    if (have <= 0x14)
        throw Damage{size == 0 ? "the file is empty" : "the file ends inside its header"};
    Header h;
    h.version = b[0x14];
    if ((jet && h.version > 1) || (ace && (h.version < 2 || h.version > 6))) {
        throw NotChecked{
            "its format version " + std::to_string(h.version) + " is not one this reader knows",
            true};
    }
    h.format = Format::ForVersion(h.version);
    const std::uint32_t ps = h.format.pageSize;
    if (size % ps != 0) {
        throw Damage{"its size of " + std::to_string(size) + " bytes is not a whole number of " +
                     std::to_string(ps) + "-byte pages"};
    }
    if (size < 3ull * ps) throw Damage{"the file ends before its catalog (page 2)"};
    Rc4(kHeaderKey, std::span(b).subspan(kScrambledStart, h.format.jet3 ? 126 : 128));
    Bytes page(b);
    h.codePage = U16(page, 0x3C);
    h.databaseKey = U32(page, 0x3E);
    h.sortOrder = h.format.jet3 ? U16(page, 0x3A) : U32(page, 0x6E);
    if (ace && h.databaseKey != 0) {
        throw NotChecked{"it is protected by a password's cipher, which this reader cannot read"};
    }
    if (size / ps > (1ull << 24)) throw NotChecked{"it has more pages than this reader counts"};
    return h;
}

Pages::Pages(const PageSource& source, const Header& header, std::size_t cacheSlots)
    : source_(source),
      header_(header),
      count_(static_cast<std::uint32_t>(source.Size() / header.format.pageSize)),
      slots_(std::max<std::size_t>(cacheSlots, 8)),
      index_(std::bit_ceil(2 * slots_), 0) {}

// Reads `page` into `bytes`: from the run read ahead when it holds it; as the start of a new
// run when the page follows the last one read; else alone. A run that cannot be read is no
// finding: the page is then read alone, and its own read decides.
void Pages::Load(std::uint32_t page, std::vector<std::uint8_t>& bytes) {
    const std::uint32_t ps = header_.format.pageSize;
    const std::uint64_t at = std::uint64_t{page} * ps;
    const bool follows = page == lastLoaded_ + 1;
    lastLoaded_ = page;
    if (page < count_ && page - aheadFirst_ >= aheadPages_ && follows) {
        aheadPages_ = 0;
        const std::uint32_t run =
            std::min<std::uint32_t>(static_cast<std::uint32_t>(kRunBytes / ps), count_ - page);
        if (source_.Read(at, std::span(ahead_.data(), std::size_t{run} * ps)))
            aheadFirst_ = page, aheadPages_ = run;
    }
    if (page < count_ && page - aheadFirst_ < aheadPages_) {
        const std::uint8_t* from = ahead_.data() + std::size_t{page - aheadFirst_} * ps;
        std::copy(from, from + ps, bytes.begin());
    } else if (page >= count_ || !source_.Read(at, bytes)) {
        throw Unreadable{"page " + std::to_string(page) + " cannot be read"};
    }
    if (header_.databaseKey != 0 && page != 0) Rc4(header_.databaseKey ^ page, bytes);
}

void Pages::Use(std::size_t slot) {
    const auto s = static_cast<std::uint32_t>(slot);
    if (s == newest_) return;
    // Out of the list where it is (it has a newer one: it is not the newest)...
    older_[newer_[s]] = older_[s];
    if (s == oldest_) {
        oldest_ = newer_[s];
    } else {
        newer_[older_[s]] = newer_[s];
    }
    // ...and in at the front.
    older_[s] = newest_;
    newer_[newest_] = s;
    newest_ = s;
}

// Takes the slot's page out of the index, moving back the entries after it that would
// otherwise no longer be found from their bucket.
void Pages::Unindex(std::size_t slot) {
    if (pageOf_[slot] == UINT32_MAX) return;
    const std::size_t mask = index_.size() - 1;
    std::size_t hole = Bucket(pageOf_[slot]);
    while (index_[hole] != slot + 1) hole = (hole + 1) & mask;
    index_[hole] = 0;
    for (std::size_t j = (hole + 1) & mask; index_[j] != 0; j = (j + 1) & mask) {
        const std::size_t home = Bucket(pageOf_[index_[j] - 1]);
        // It stays where it is when its bucket lies cyclically in (hole, j].
        if (((j - home) & mask) < ((j - hole) & mask)) continue;
        index_[hole] = index_[j];
        index_[j] = 0;
        hole = j;
    }
    pageOf_[slot] = UINT32_MAX;
}

Pages::Handle Pages::Get(std::uint32_t page) {
    if (last_ < pageOf_.size() && pageOf_[last_] == page) {
        Use(last_);
        return bytes_[last_];
    }
    const std::size_t mask = index_.size() - 1;
    for (std::size_t b = Bucket(page); index_[b] != 0; b = (b + 1) & mask) {
        const std::size_t i = index_[b] - 1;
        if (pageOf_[i] != page) continue;
        Use(i);
        last_ = i;
        return bytes_[i];
    }
    std::size_t slot = pageOf_.size();
    if (slot < slots_) {
        pageOf_.push_back(UINT32_MAX);
        bytes_.emplace_back();
        newer_.push_back(0);
        older_.push_back(newest_);
        if (slot > 0) newer_[newest_] = static_cast<std::uint32_t>(slot);
        if (slot == 0) oldest_ = 0;
        newest_ = static_cast<std::uint32_t>(slot);
    } else {
        slot = oldest_;
        Use(slot);
        Unindex(slot);
        // A page still held elsewhere keeps its buffer; the slot then gets a new one.
        if (bytes_[slot].use_count() != 1) bytes_[slot].reset();
    }
    // Until the read succeeds, the slot holds no page.
    if (!bytes_[slot])
        bytes_[slot] = std::make_shared<std::vector<std::uint8_t>>(header_.format.pageSize);
    Load(page, *bytes_[slot]);
    pageOf_[slot] = page;
    std::size_t b = Bucket(page);
    while (index_[b] != 0) b = (b + 1) & mask;
    index_[b] = static_cast<std::uint32_t>(slot + 1);
    last_ = slot;
    return bytes_[slot];
}

std::string Where::Text() const {
    if (chars_) return chars_;
    if (text_) return *text_;
    std::string out = PageWhere(*table_, page_);
    if (hasRow_) out += "row " + std::to_string(row_) + ": ";
    if (column_) out += "the long value in column " + *column_;
    return out;
}

bool IsDataPage(Bytes page) { return U8(page, 0) == 0x01; }
bool IsLongValuePage(Bytes page) {
    return U8(page, 0) == 0x01 && std::memcmp(page.data() + 4, "LVAL", 4) == 0;
}

std::string PageWhere(const std::string& table, std::uint32_t page) {
    return "table " + table + ", page " + std::to_string(page) + ": ";
}

std::vector<RowSlot> RowSlots(Bytes page, const Format& f, const Where& where) {
    std::vector<RowSlot> rows;
    RowSlots(page, f, where, rows);
    return rows;
}

void RowSlots(Bytes page, const Format& f, const Where& where, std::vector<RowSlot>& rows) {
    const std::uint32_t count = U16(page, f.rowCountAt);
    const std::size_t tableEnd = f.rowCountAt + 2 + 2 * std::size_t{count};
    if (tableEnd > page.size()) {
        throw Damage{where + "its table of " + std::to_string(count) + " rows runs past the page"};
    }
    rows.resize(count);
    std::uint32_t end = f.pageSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t raw = U16(page, f.rowCountAt + 2 + 2 * i);
        RowSlot& r = rows[i] = SlotOf(raw, end);
        end = r.start;
        if (r.deleted) continue;
        if (r.start >= f.pageSize) {
            throw Damage{where + "row " + std::to_string(i) + " starts past the end of its page"};
        }
        if (r.start < tableEnd || r.start >= r.end) {
            throw Damage{where + "row " + std::to_string(i) +
                         " does not lie between the row table and the row before it"};
        }
    }
}

bool RowAt(Bytes page, const Format& f, std::uint32_t row, RowSlot& slot) {
    const std::uint32_t count = U16(page, f.rowCountAt);
    const std::size_t tableEnd = f.rowCountAt + 2 + 2 * std::size_t{count};
    if (row >= count || tableEnd > page.size()) return false;
    const std::uint32_t raw = U16(page, f.rowCountAt + 2 + 2 * row);
    slot = SlotOf(raw, row == 0 ? f.pageSize : U16(page, f.rowCountAt + 2 * row) & 0x1FFF);
    return slot.start >= tableEnd && slot.start < slot.end && slot.end <= f.pageSize;
}

}  // namespace Jet::Detail
