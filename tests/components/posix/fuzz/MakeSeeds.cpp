// Writes the fuzzer's seeds into FOLDER: small valid databases of each page format made by the
// tests' builder, one with a deleted row, each after the eight bytes of the size the header
// check is handed. Made afresh on each run, so they follow the builder.
//   make-seeds FOLDER
#include <cstdint>
#include <fstream>
#include <string>

#include "support/TestDatabase.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    struct Seed {
        const char* name;
        TestDatabase::Spec spec;
        int deleted;  // the row to mark deleted, or -1
    };
    const Seed seeds[] = {
        {"seed-db-1997", {.rows = 3, .version = 0}, -1},
        {"seed-db-2000", {.rows = 3, .version = 1}, -1},
        {"seed-db-2000-empty", {.rows = 0, .version = 1}, -1},
        {"seed-db-2000-deleted", {.rows = 2, .version = 1}, 0},
        {"seed-db-ace", {.rows = 1, .version = 3}, -1},
        {"seed-db-1997-two-pages", {.rows = 101, .version = 0}, 100},
        {"seed-db-2000-free-pages", {.rows = 1, .pages = 10, .version = 1}, -1},
    };
    for (const Seed& s : seeds) {
        std::string bytes = TestDatabase::Make(s.spec);
        if (s.deleted >= 0) TestDatabase::DeleteRow(bytes, s.deleted, s.spec.version);
        std::uint64_t size = bytes.size();
        std::ofstream out(std::string(argv[1]) + "/" + s.name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(&size), 8) << bytes;
        if (!out) return 1;
    }
    return 0;
}
