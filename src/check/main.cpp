// tolvane-check FILE…: the structural check of database files, for the people who keep them.
#include <iostream>

#include "check/CheckFiles.h"
#include "components/CheckerServices.h"

int main(int argc, char** argv) {
    const std::vector<std::string> paths =
        Components::The<Components::CheckerServices>().Arguments(argc, argv);
    if (paths.empty()) {
        std::cerr << "usage: tolvane-check FILE...\n"
                     "Checks the structure of each database file and prints its tables, rows and "
                     "pages.\n";
        return Checker::kUnusable;
    }
    return Checker::CheckFiles(paths, std::cout);
}
