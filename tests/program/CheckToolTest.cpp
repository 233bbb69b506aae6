// tolvane-check run as its users run it: what it prints for each kind of file, and the exit
// status, for one file and for several.
#include <sys/wait.h>

#include <regex>

#include "program/ProgramSupport.h"

namespace {

using namespace ProgramTest;

struct Checked {
    int status;
    std::string output;
};

class CheckTool : public Program {
  protected:
    Checked Check(const std::vector<std::string>& names) {
        std::string command = TOLVANE_CHECK_BINARY;
        for (const std::string& name : names) command += " '" + (data / name).string() + "'";
        std::string output;
        FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, n);
        }
        const int status = ::pclose(pipe);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
    }
};

TEST_F(CheckTool, PrintsTablesPagesAndVerdictWithTheGravestStatus) {
    std::string damaged = TestDatabase::Make(), unknown = TestDatabase::Make();
    damaged[TestDatabase::kFirstRowsPage * 4096 + 4] = 9;     // the rows page's owner
    unknown[TestDatabase::kTablePage * 4096 + 63 + 25] = 21;  // the type of column Name
    WriteFile(data / "Sound.mdb",
              TestDatabase::Make({.rows = 250, .pages = 600, .table = "Kunden Café"}));
    WriteFile(data / "Damaged.mdb", damaged);
    WriteFile(data / "Unknown.mdb", unknown);
    WriteFile(data / "Notes.txt", "just some text, not a database at all");
    const struct {
        std::vector<std::string> files;
        int status;
        std::string output;  // "<data>" stands for the data folder
    } cases[] = {
        {{"Sound.mdb"},
         0,
         "table\tMSysObjects\t3\ntable\tKunden Café\t250\npages\t600\t9\t591\t0\nsound\n"},
        {{"Damaged.mdb"},
         1,
         "\ndamaged\ttable Orders, page 6: the page is in the table's map but is not a data "
         "page of that table\n"},
        {{"Unknown.mdb"},
         3,
         "\nnot checked\ttable Orders has a column Name of type 21, which this reader does not "
         "know\n"},
        {{"Notes.txt"}, 2, "not a database\t"},
        {{"Gone.mdb"}, 2, "unreadable\tCannot open '<data>/Gone.mdb': "},
        {{"Unknown.mdb", "Notes.txt"}, 2, "file\t<data>/Unknown.mdb\n"},
        {{"Sound.mdb", "Damaged.mdb", "Unknown.mdb"}, 1, "file\t<data>/Damaged.mdb\n"},
        {{}, 2, "usage: tolvane-check FILE..."},
    };
    for (const auto& [files, status, output] : cases) {
        const Checked checked = Check(files);
        const std::string expected =
            std::regex_replace(output, std::regex("<data>"), data.string());
        SCOPED_TRACE(files.empty() ? "no file" : files[0] + (files.size() > 1 ? "…" : ""));
        EXPECT_EQ(checked.status, status) << checked.output;
        EXPECT_NE(checked.output.find(expected), std::string::npos) << checked.output;
    }
}

}  // namespace
