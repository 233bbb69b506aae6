// A read-only reader of the database file format and the structural check built on it.
// Platform-neutral: the bytes come through a PageSource that each platform supplies, so the
// same check runs in the Linux engine stand-in, behind the real engine on Windows, in the
// command-line checker and under the fuzzer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace Jet {

// Read-only access to a file's bytes.
class PageSource {
  public:
    virtual ~PageSource() = default;
    // The file's length in bytes.
    virtual std::uint64_t Size() const = 0;
    // Fills `out` with the bytes at `offset`; the caller keeps the range inside Size().
    // False when they cannot all be read (an I/O error): the check then answers
    // kUnreadable, never kDamaged. Called on two threads at once by a check given a second
    // thread.
    virtual bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

// Bytes held in memory (tests, the fuzz target).
class MemoryPageSource : public PageSource {
  public:
    explicit MemoryPageSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

  private:
    std::span<const std::uint8_t> bytes_;
};

enum class Verdict {
    kSound,
    kDamaged,       // Finding: the first damage met: the table, the page, what is wrong
    kNotChecked,    // Finding: why (a cipher, a page kind or column type not known)
    kNotADatabase,  // Finding: why the file is not a database of this family
    kUnreadable,    // Finding: which read failed
};

struct TableRows {
    std::string Name;  // UTF-8
    bool System = false;
    std::uint64_t LiveRows = 0;  // rows that could be read, deleted rows not counted
};

// Filled once the database-wide map has been read, also when damage is met later on;
// Unreferenced only when the whole database has been checked.
struct PageTally {
    std::uint64_t Total = 0;         // pages in the file
    std::uint64_t InUse = 0;         // pages the database-wide map calls used
    std::uint64_t Free = 0;          // Total - InUse
    std::uint64_t Unreferenced = 0;  // used by the map, reached by nothing
};

struct CheckReport {
    Verdict Outcome = Verdict::kNotChecked;
    std::string Finding;
    std::vector<TableRows> Tables;  // in catalog order, system tables included
    PageTally Pages;
    std::vector<std::string> Notes;  // not damage: unreferenced pages, stored counts that differ
    bool UnknownFormat = false;      // kNotChecked because the header names no format known
};

// A thread beside the check's own, where the caller has a core to spare: each batch of a
// table's rows pages is read and checked on both, a few pages at a time, the quicker taking
// more.
class SecondThread {
  public:
    virtual ~SecondThread() = default;
    // Runs `work` on the second thread; false where no thread is to be had (the check then
    // does all its work on its own).
    virtual bool Start(std::function<void()> work) = 0;
    // Returns once `work` has returned; only after a Start that succeeded.
    virtual void Join() = 0;
    // Two counts the threads share, `n` 0 or 1, each starting at 0: Give adds one to count
    // `n`; Take waits until it is above 0 and takes one. What one thread wrote before a Give
    // the other sees after the Take it ends.
    virtual void Give(int n) = 0;
    virtual void Take(int n) = 0;
};

// Never throws for any content of the file and never reads outside it; each page it reaches
// is read at most twice, and it holds no more than a bitmap of the pages and a bounded cache.
// With a second thread, the same report, word for word.
CheckReport CheckDatabase(const PageSource& source, SecondThread* second = nullptr);

// What the compacted copy lacks against its source, as the description of the engine's
// error 3056 ("The compacted copy '<copy>' holds 1200 of the 1203 rows of table Orders; the
// database has not been replaced"), or nothing when the copy is sound, holds every user
// table of the source with at least its live rows, and has no more rows in MSysCompactError
// than the source had. A copy or source that was not checked gives nothing: it is accepted as it
// is.
std::optional<std::string> CopyShortfall(const CheckReport& source, const CheckReport& copy,
                                         const std::string& copyName);

}  // namespace Jet
