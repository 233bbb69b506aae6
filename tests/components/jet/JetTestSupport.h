// The real databases beside the repository, and a page source that counts its reads.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "components/jet/DatabaseCheck.h"

namespace JetTest {

// The files of ../shared/testdata/databases, sorted; empty when that folder is missing.
std::vector<std::filesystem::path> RealDatabases();
std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file);

class CountingSource : public Jet::PageSource {
  public:
    CountingSource(const std::vector<std::uint8_t>& bytes, std::uint32_t pageSize)
        : memory_(bytes), pageSize_(pageSize) {}
    std::uint64_t Size() const override { return memory_.Size(); }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        ++reads_[offset / pageSize_];
        return memory_.Read(offset, out);
    }
    int MostReadsOfOnePage() const {
        int most = 0;
        for (const auto& [page, n] : reads_) most = std::max(most, n);
        return most;
    }

  private:
    Jet::MemoryPageSource memory_;
    std::uint32_t pageSize_;
    mutable std::map<std::uint64_t, int> reads_;
};

inline Jet::CheckReport Check(const std::vector<std::uint8_t>& bytes) {
    return Jet::CheckDatabase(Jet::MemoryPageSource(bytes));
}

}  // namespace JetTest
