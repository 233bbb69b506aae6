// The log, the problem reports and the temporary names, each case in a fresh child with the
// platform's own components; a tiny double stands in only for what a real one cannot do here.
#include <regex>

#include "components/Application.h"
#include "components/Clock.h"
#include "components/CurrentError.h"
#include "components/LogSettings.h"
#include "components/ProcessMemory.h"
#include "components/SystemInfo.h"
#include "components/TempNameServices.h"
#include "components/posix/SystemCalls.h"
#include "components/posix/TerminalUi.h"
#include "general/qnGeneral.h"
#include "support/WholeRun.h"

namespace {

using namespace Components;
using namespace qnGeneral;
using Names = std::vector<std::pair<std::uint32_t, std::string>>;

template <class Interface, class Double, class... Args>
void Use(Args... args) {
    Instance<Interface>::Install(std::make_unique<Double>(args...));
}

struct Midnight : Clock {  // steps over midnight between two readings; times are written 7.08.09
    LocalTime times[2] = {{2024, 3, 2, 23, 59, 59}, {2024, 3, 3, 0, 0, 0}};
    int reads = 0;
    LocalTime Now() override { return times[std::min(reads++, 1)]; }
    std::string TimeSeparator() override { return "."; }
};
struct Raising : LogSettings {
    std::int32_t LoggingLevel() override { Err::Raise(57, "level"); }
    std::string PadText(std::string text, std::int32_t, std::string) override { return text; }
};
struct OtherFamily : SystemInfo {  // prints what it was handed
    void GetOsVersion(OsVersionRecord& record) override { std::cout << record.PlatformId++; }
};
struct Titled : Application {
    std::string Title() override { return "a  b\tc "; }
    std::string ExeBaseName() override { return "titled"; }
};
template <ProcessHandle handle>  // 0: a process that cannot be opened
struct Memory : ProcessMemory {
    std::uint32_t GetCurrentProcessId() override { return 4242; }
    ProcessHandle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t id) override {
        return std::cout << "open " << access << " " << inherit << " " << id, handle;
    }
    bool GetProcessMemoryInfo(ProcessHandle p, ProcessMemoryCounters& c, std::uint32_t n) override {
        std::cout << " info " << p << " " << c.Cb << " " << n;
        if (p != 0) c.WorkingSetSize = 1234567, c.PagefileUsage = 89012;
        return p != 0;
    }
    bool CloseHandle(ProcessHandle p) override { return std::cout << " close " << p << "\n", true; }
};
// No temporary folder, failing with `error`; or the real one, and the answers given, written
// into the buffer as they are, with a NUL or without.
struct Temp : TempNameServices {
    Temp(std::int64_t error, Names names) : error(error), names(names) {}
    std::int64_t error;
    Names names;
    std::uint32_t GetTempPath(std::uint32_t length, std::string& buffer) override {
        if (error != 0) return Err::Current().LastDllError = error, 0;
        return CreatePlatformInstance(Tag<TempNameServices>{})->GetTempPath(length, buffer);
    }
    std::uint32_t GetTempFileName(std::string in, std::string prefix, std::uint32_t,
                                  std::string& buffer) override {
        std::cout << in << " " << prefix << "\n";
        const auto [result, name] = names.front();
        names.erase(names.begin());
        return buffer.replace(0, name.size(), name), result;
    }
};

std::string Box(const std::string& icon, const std::string& prompt) {
    return "\n== Tolvane [" + icon + "] ==\n" + prompt + "\n[OK] (press Enter) \n";
}

class General : public WholeRun::Scratch {
  protected:
    // What `body` printed in a fresh child, a bar, then what it logged: the scratch folder read
    // as R, the time as T, the number of a real temporary name as n.
    void Run(const std::string& expected, const std::function<void()>& body) {
        Reset();
        const auto run = Wait(Start("", [&] {
            try {
                LogIndent = 0, Err::Current() = {0, "ignored"}, body();
            } catch (const Err::Error& e) {
                std::cout << "raised " << e.Number() << " " << e.what() << " at " << LogIndent;
            }
            return 0;
        }));
        std::string text =
            std::regex_replace(run.output + "|" + Log(), std::regex(root.string()), "R");
        text = std::regex_replace(text, std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2}"), "T");
        EXPECT_EQ(std::regex_replace(text, std::regex("TOL[0-9A-F]{4}\\."), "TOLn."), expected);
    }
    void Level(int level) {
        WholeRun::WriteFile(root / "config/tolvane/logging-level", std::to_string(level));
    }
    void Write(const char* text, std::int32_t level = -1, std::int32_t action = kIndentNone) {
        WriteLog(text, level, action);
    }
};

TEST_F(General, LogLinesLevelsAndNesting) {
    Run("0|T first\r\nT     inside\r\nT last\r\nT \r\nT one\ntwo\r\nthree\r\n", [&] {
        Level(5), Write("first", 5, kIndentOpen), Write("inside"), Write("last", 5, kIndentClose);
        Write(""), Write("one\ntwo\r\nthree"), std::cout << LogIndent;
    });
    Run("1100111012|T -1\r\nT 5\r\nT 4\r\nT 100\r\nT -1\r\nT -3\r\n", [&] {
        const int levels[] = {5, 5, 5, 4, 4, -1, -1, -5, 7},
                  messages[] = {-1, 5, 6, -1, 4, 100, -1, -1, -3};
        for (int i = 0; i < 9; ++i) {
            Level(levels[i]), LogIndent = 0, WriteLog(std::to_string(messages[i]), messages[i], 1);
            std::cout << LogIndent;
        }
        Level(0), LogIndent = 2;
        for (std::int32_t action : {0, 1, 2, 3}) Write("level 0 does nothing", 1, action);
        std::cout << LogIndent;
    });
    Run("|T a\r\nT open\r\nT     open\r\nT         deep\r\nT reset\r\nT after\r\n", [&] {
        Write("a", 5, kIndentClose), Write("open", 5, kIndentOpen), Write("open", 5, kIndentOpen);
        Write("deep", 5, 9), Write("reset", 5, kIndentReset), Write("after");
    });
}

TEST_F(General, LogCountersFromLevelTenOnTheNtFamilyAndDate) {
    Run("open 1040 0 4242 info 77 40 40 close 77\nopen 1040 0 4242 info 0 40 40 close 0\n|T    "
        "1234567      89012 m\r\nT          0          0 m\r\n",
        [&] {
            Level(10), Use<ProcessMemory, Memory<77>>(), Write("m");
            Use<ProcessMemory, Memory<0>>(), Write("m");
        });
    Run("0|T other family\r\nT level nine\r\nT everything\r\n", [&] {
        Use<ProcessMemory, Memory<77>>(), Use<SystemInfo, OtherFamily>();
        Level(10), Write("other family"), Instance<SystemInfo>::Install(nullptr);
        Level(9), Write("level nine"), Level(-1), Write("everything");
    });
    // The file is dated before the time is read.
    Run("00.00.00 midnight\r\n|00.00.00 midnight\r\n", [&] {
        Use<Clock, Midnight>(), Write("midnight");
        std::cout << WholeRun::ReadFile(root / "state/tolvane/module_tests.20240302.log");
    });
}

TEST_F(General, LogFailures) {
    Run("1 3049 the engine's own 6|", [&] {
        WholeRun::WriteFile(root / "state/tolvane", "");  // where the log's folder should be
        Err::Current() = {3049, "the engine's own", 6};
        Write("open", 5, kIndentOpen), Write("open", 5, kIndentOpen), Write("close", 5, 2);
        const auto& e = Err::Current();
        std::cout << LogIndent << " " << e.Number << " " << e.Description << " " << e.LastDllError;
    });
    Run("raised 57 level at 1|",
        [&] { Use<LogSettings, Raising>(), LogIndent = 1, Write("m", 5, 1); });
    Run("raised 6 Overflow at 536870912|", [&] { LogIndent = INT32_MAX / 4 + 1, Write("m"); });
}

TEST_F(General, ProblemReports) {
    const std::string as = " and the error's description was reported as : \n\n\"",
                      problem = "There was a problem ";
    const std::string database = problem + "Compacting/Repairing the database: c:\\a.mdb";
    const std::string format = "Unrecognized database format 'c:\\a.mdb'.";
    const std::vector<std::pair<std::string, std::function<std::string()>>> reports = {
        {database,
         [] { return ReportError("  Compacting/Repairing the database: c:\\a.mdb  ", 0, 0); }},
        {problem + "x" + as + format + " (3343)\"",
         [&] {
             return Err::Current() = {3343, format}, ReportError("x", 3343, 0);
         }},
        {problem + "x" + as + "Unspecified (-2147467259)\"",
         [] {
             return Err::Current() = {-2147467259, "Unspecified"}, ReportError("x", -2147467259, 0);
         }},
        {problem + "x",
         [] {
             return Err::Current() = {3024, "Could not find file."}, ReportError("x", 3343, 0);
         }},
        {problem, [] { return ShowProblem("", "", 0); }},
        {problem + "ctx", [] { return ShowProblem(" ctx ", "    ", 0); }},
        {problem + "\tctx\n" + as + "d\"", [] { return ShowProblem("\tctx\n", " d ", 0); }},
    };
    for (const auto& [message, report] : reports) {
        Run(Box("Warning", message) + message + "|T " + message + "\r\n",
            [&] { std::cout << report(); });
    }
    const std::string silent = problem + "ctx" + as + "Permission denied\"";
    Run(silent + "|T " + silent + "\r\n", [&] { std::cout << ReportError("ctx", 70, 1); });
    const std::string notFound = database + as + "File not found\"";
    Run("Working...\r\033[K" + Box("Warning", notFound) + "Working..." + notFound + "|T " +
            notFound + "\r\n",
        [&] {
            Use<MousePointer, Posix::TerminalMousePointer>(1, true), The<MousePointer>().Set(11);
            std::cout << ReportError("Compacting/Repairing the database: c:\\a.mdb", 53, False);
        });
    Run("Working...\r\033[K57 0|", [&] {  // a failing box: the report ends, the pointer at default
        Use<MousePointer, Posix::TerminalMousePointer>(2, true), The<MousePointer>().Set(11);
        try {
            close(1), ShowProblem("ctx", "", False);
        } catch (const Err::Error& e) {
            std::cerr << e.Number() << " " << The<MousePointer>().Get();
        }
    });
}
TEST_F(General, TempFile) {
    const std::string start = "T Start GetTempFile\r\n", assign = "T     Assign a string\r\n";
    const std::string path = "T     Get the user's temp path\r\n", end = "T End GetTempFile\r\n";
    const std::string call = "T     AlphaNum the app.title\r\nT     Call GetTempFilename\r\n";
    const std::string process = "T     Process the return\r\n", pass = assign + call + process;
    const std::string data = (root / "data/").string(), tmp = (root / "tmp/").string();
    auto name = [&](std::string extension, std::string out) {
        Run(out + "|" + start + pass + end, [&] {
            std::cout << GetTempFile(data, extension) << " ";
            for (const auto& file : Files()) std::cout << file << " ";
        });
    };
    for (std::string extension : {"MDB", "ACCD", "b"})
        name(extension, "R/data/TOLn." + extension + " ");
    // The service's own extension, in any case: its name and its file are kept.
    for (const char* extension : {"", "TMP", "tmp", "tMp"})
        name(extension, "R/data/TOLn.TMP TOLn.TMP ");
    Run("R/tmp/ AB\tC\nR/tmp/ AB\tC\nR/tmp/TOL2.MDB someone's|" + start + assign + path + call +
            process + pass + end,
        [&] {
            WholeRun::WriteFile(root / "tmp/TOL1.MDB", "someone's"),
                WholeRun::WriteFile(root / "tmp/TOL2.MDB", "");
            Use<Application, Titled>(),
                Use<TempNameServices, Temp>(
                    0, Names{{1, tmp + "TOL1.TMP" + '\0'}, {2, tmp + "TOL2.TMP" + '\0'}});
            std::cout << GetTempFile("", "MDB") << " " << WholeRun::ReadFile(root / "tmp/TOL1.MDB");
        });
    for (auto [code, shown] : Names{{5, "5"}, {0x80070005, "-2147024891"}}) {
        Run(Box("Error", "Error getting a temporary file name :" + shown) + "|" + start + assign +
                path + end,
            [&] {
                Use<TempNameServices, Temp>(code, Names{}), std::cout << GetTempFile("", "MDB");
            });
    }
    const std::string noNul =
        "T Exit NewGetTempFile (GetTempFilename returned a non-Null terminated string)\r\n";
    for (auto [result, answer] :
         Names{{0, "x"}, {0, data + "x" + '\0'}, {0x80000000, data + "TOL1.TMP" + '\0'}}) {
        Run("R/data TOLVANE\n|" + start + assign + call + (answer == "x" ? noNul : end), [&] {
            Use<TempNameServices, Temp>(0, Names{{result, answer}}),
                std::cout << GetTempFile((root / "data").string(), "MDB");
        });
    }
    Run("raised 75 FileSize 'R/data/TOLn.MDB': Path/File access error (Input/output error) at 0|" +
            start + pass + end,
        [&] {
            Posix::Sys().Stat = [](const char*, struct stat*) { return errno = EIO, -1; };
            GetTempFile(data, "MDB");
        });
}

}  // namespace
