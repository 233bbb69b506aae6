// Small but valid databases made in memory, so that no suite needs a file from outside: the
// header page with its scrambled range, the database-wide map of free pages, the catalog with
// one user table, that table's definition, maps and rows; optionally followed by pages that
// the format counts as free, which makes large databases cheap.
#pragma once

#include <cstdint>
#include <string>

namespace TestDatabase {

struct Shape {
    int rows = 3;                  // rows of the user table
    std::uint64_t pages = 0;       // at least this many pages in all: free ones fill up
    char version = 1;              // the header's version byte: 0 the 1997 format (2048-byte
                                   // pages), 1 the 2000/2003 format, 2 and later the ACE formats
    std::string table = "Orders";  // the user table's name (UTF-8; ASCII in 1997)
    // Maps of the reference kind: a database-wide one whose map page pointers name none (as
    // real writers leave them), and the table's, whose later rows lie two map pages' reach
    // away from its first, as a big table's do.
    bool referenceMaps = false;
};

// Where things are, the same for every Shape.
constexpr std::uint32_t kCatalogPage = 2;      // the catalog's definition
constexpr std::uint32_t kCatalogRowsPage = 3;  // the catalog's rows
constexpr std::uint32_t kMapsPage = 4;         // every table's usage maps
constexpr std::uint32_t kTablePage = 5;        // the user table's definition (its Id)
constexpr std::uint32_t kFirstRowsPage = 6;    // the user table's rows, then its later pages
                                               // (with reference maps: a map page, then far
                                               // away its later rows and their map page)
constexpr int kRowsPerPage = 100;

std::size_t PageSize(char version);

// The user table holds rows Id = 1…rows, Name = "Item <Id>", kRowsPerPage to a page.
std::string Make(const Shape& shape = {});

// The pages the database itself uses, from page 0; every page after them is free.
std::uint64_t UsedPages(const Shape& shape = {});

// Marks row `row` (0-based, over all the table's pages) deleted, as the engine does.
void DeleteRow(std::string& bytes, int row, char version = 1);

}  // namespace TestDatabase
