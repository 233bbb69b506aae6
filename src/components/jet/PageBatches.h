// A table's data pages read and taken whole a batch at a time, shared with a second thread
// where there is one: each thread checks the pages it read itself, while they are in its
// own core's cache, since handing bytes read on one core to another costs more than the
// check. Each page is then settled on the walk's thread in the order it came, so that the
// first damage named is the one a walk page by page names first.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <utility>
#include <vector>

#include "components/jet/DatabaseCheck.h"
#include "components/jet/LiveRows.h"
#include "components/jet/Rows.h"

namespace Jet::Detail {

// A data page as read, and what taking it whole found.
struct PageTaken {
    // The record LiveRows keeps of a page of 4096 bytes with the most rows it can hold.
    static constexpr std::size_t kRecordWords = LiveRows::Words(2041);

    std::uint32_t page = 0;
    std::span<std::uint8_t> bytes;  // its place in the batch's buffer; read when `read`
    bool read = false;              // whether it could
    bool fits = false;              // as PageFits answers
    std::uint32_t liveRows = 0;
    std::array<std::uint64_t, kRecordWords> record;  // its live rows, when it fits
};

class PageBatches {
  public:
    using Settle = std::function<void(const PageTaken&)>;
    // With no second thread, or none to be had, the walk's thread takes every page itself.
    PageBatches(const PageSource& source, const Header& header, SecondThread* second);
    ~PageBatches();
    PageBatches(const PageBatches&) = delete;
    PageBatches& operator=(const PageBatches&) = delete;

    // For the table whose pages come next: its layout, and what is done with each page.
    void Begin(const RowLayout& layout, Settle settle);
    // A page of it, once claimed; may read and settle it and the pages added before it.
    void Add(std::uint32_t page);
    // Reads and settles every page added, unless a settle has raised: the walk stops there.
    void Drain();

  private:
    // Reads `count` pages from `at` on, in runs, and takes each whole.
    void Take(PageTaken* at, std::size_t count);
    void Read(PageTaken* at, std::size_t count);
    void Share();
    void Work();

    const PageSource& source_;
    const Header& header_;
    const std::uint32_t pageCount_;
    SecondThread* second_;
    const RowLayout* layout_ = nullptr;
    Settle settle_;
    std::vector<PageTaken> pending_;
    std::size_t count_ = 0;  // of them, added since the last drain
    ReadBuffer buffer_;      // the pending pages' bytes, in their order
    // The batch being shared, read on the second thread after a Give: its pages, and the
    // first that neither thread has taken yet.
    std::size_t postedCount_ = 0;
    std::atomic<std::size_t> next_ = 0;
    bool stop_ = false;
};

}  // namespace Jet::Detail
