// Writes a test database of a given size for the benchmark: the small database, then pages
// the format counts as free, filled with text so the disk writes every byte of them.
//   make-test-database FILE MEBIBYTES
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "support/TestDatabase.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make-test-database FILE MEBIBYTES\n";
        return 2;
    }
    const std::uint64_t pages = std::strtoull(argv[2], nullptr, 10) * 256;
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << TestDatabase::Make();
    std::string fill;
    while (fill.size() < 4096) fill += "Tolvane benchmark fill, neither zeros nor a hole.\n";
    fill.resize(4096);
    for (std::uint64_t page = TestDatabase::UsedPages(); page < pages; ++page) out << fill;
    out.close();
    return out ? 0 : 1;
}
