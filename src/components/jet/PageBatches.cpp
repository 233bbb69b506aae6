#include "components/jet/PageBatches.h"

#include <algorithm>

namespace Jet::Detail {

namespace {

// Pages read at a time, shared between the threads: enough that handing them over costs
// little beside reading and checking them, few enough that they stay in the cores' caches.
constexpr std::size_t kBatchPages = 256;
// Pages each thread takes at a time from a batch: at most as many as a read of a run is
// worth, few enough that a core slowed by others finds its part taken over; at least as many
// as make a read worth its call.
constexpr std::size_t kSharePages = 32, kFewestPages = 4;

}  // namespace

PageBatches::PageBatches(const PageSource& source, const Header& header, SecondThread* second)
    : source_(source),
      header_(header),
      pageCount_(static_cast<std::uint32_t>(source.Size() / header.format.pageSize)),
      second_(second),
      buffer_(kBatchPages * header.format.pageSize) {
    pending_.resize(kBatchPages);
    const std::size_t ps = header.format.pageSize;
    for (std::size_t i = 0; i < kBatchPages; ++i) pending_[i].bytes = {buffer_.data() + i * ps, ps};
    if (second_ && !second_->Start([this] { Work(); })) second_ = nullptr;
}

PageBatches::~PageBatches() {
    if (!second_) return;
    stop_ = true;
    second_->Give(0);
    second_->Join();
}

void PageBatches::Begin(const RowLayout& layout, Settle settle) {
    layout_ = &layout;
    settle_ = std::move(settle);
}

void PageBatches::Add(std::uint32_t page) {
    PageTaken& p = pending_[count_++];
    p.page = page, p.read = p.fits = false;
    if (count_ == kBatchPages) Drain();
}

void PageBatches::Drain() {
    // Settled pages are not settled again, nor those after one that raised.
    const std::size_t count = std::exchange(count_, 0);
    if (count == 0) return;
    if (second_ && count > 1) {
        next_.store(0, std::memory_order_relaxed);
        postedCount_ = count;
        second_->Give(0);
        Share();
        second_->Take(1);
    } else {
        Take(pending_.data(), count);
    }
    for (std::size_t i = 0; i < count; ++i) settle_(pending_[i]);
}

// Takes the batch's next pages until none are left, on both threads, whichever is quicker
// taking more: a quarter of those left at a time, so that neither waits long for the other's
// last ones at the end.
void PageBatches::Share() {
    std::size_t first = next_.load(std::memory_order_relaxed);
    while (first < postedCount_) {
        const std::size_t pages =
            std::clamp<std::size_t>((postedCount_ - first) / 4, kFewestPages, kSharePages);
        const std::size_t count = std::min(pages, postedCount_ - first);
        if (next_.compare_exchange_weak(first, first + count, std::memory_order_relaxed)) {
            Take(pending_.data() + first, count);
            first = next_.load(std::memory_order_relaxed);
        }
    }
}

// Each run of pages that follow one another in one read, into their places in the buffer,
// which follow one another too; a run that cannot be read is no finding: its pages are then
// read alone, and each one's own read decides.
void PageBatches::Read(PageTaken* at, std::size_t count) {
    const std::uint32_t ps = header_.format.pageSize;
    for (std::size_t i = 0; i < count;) {
        std::size_t run = 1;
        while (i + run < count && at[i + run].page == at[i].page + run &&
               at[i + run].page < pageCount_)
            ++run;
        const auto read = [&](std::size_t k, std::size_t pages) {
            return at[k].page < pageCount_ &&
                   source_.Read(std::uint64_t{at[k].page} * ps,
                                std::span(at[k].bytes.data(), pages * ps));
        };
        const bool whole = run > 1 && read(i, run);
        for (std::size_t k = i; k < i + run; ++k) {
            at[k].read = whole || read(k, 1);
            if (at[k].read && header_.databaseKey != 0 && at[k].page != 0)
                Rc4(header_.databaseKey ^ at[k].page, at[k].bytes);
        }
        i += run;
    }
}

void PageBatches::Take(PageTaken* at, std::size_t count) {
    Read(at, count);
    for (std::size_t i = 0; i < count; ++i) {
        PageTaken& p = at[i];
        if (!p.read) continue;
        p.fits = PageFits(p.bytes, header_.format, *layout_);
        if (p.fits) p.liveRows = LiveRows::Start(p.record.data(), p.bytes, header_.format);
    }
}

void PageBatches::Work() {
    for (;;) {
        second_->Take(0);
        if (stop_) return;
        Share();
        second_->Give(1);
    }
}

}  // namespace Jet::Detail
