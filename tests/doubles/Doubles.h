// Doubles for every component, installed as the process's instances for one test. The file
// services share one in-memory disk, so a test sees a whole run's effect on the files and can
// make any single operation fail, or stop the world as a crash would.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "components/Application.h"
#include "components/Clock.h"
#include "components/CurrentError.h"
#include "components/DatabaseEngine.h"
#include "components/FileDialogs.h"
#include "components/FileSystem.h"
#include "components/FileTools.h"
#include "components/LogSettings.h"
#include "components/ProcessMemory.h"
#include "components/SystemInfo.h"
#include "components/TempNameServices.h"
#include "components/UserInterface.h"

namespace Doubles {

class MemoryDisk {
  public:
    std::map<std::string, std::string> files;

    // Every file operation counts; the one numbered failAt raises (or answers 0 for the
    // services that report failure that way) with failNumber.
    int operations = 0;
    int failAt = 0;
    std::int32_t failNumber = 57;
    // From the operation numbered crashAt on, nothing reaches the disk any more: `files` is
    // what a crash at that moment would leave.
    int crashAt = 0;
    bool crashed = false;
    std::vector<std::string> trace;

    // Operation names that always fail, whatever their number.
    std::vector<std::string> alwaysFail;

    // The engine's compacted copy of a file's bytes.
    static std::string Compacted(const std::string& bytes) { return "compacted:" + bytes; }
    // The engine raises this error when set.
    std::optional<std::pair<std::int32_t, std::string>> engineError;

    // Names the temporary-name service hands out before it makes its own.
    std::deque<std::string> forcedTempNames;
    std::string tempFolder = "C:\\Users\\me\\Temp\\";
    std::int64_t tempPathError = 0;
    int tempCounter = 0;

    bool Exists(const std::string& path) const { return files.count(path) != 0; }

    // Counts the operation; true when it is the one to fail (or the world has crashed).
    bool Failing(const std::string& operation);
    // Counts the operation and raises when it is the one to fail.
    void Check(const std::string& operation);
};

class DiskFileTools : public Components::FileTools {
  public:
    explicit DiskFileTools(MemoryDisk& disk) : disk_(disk) {}
    double FileSize(std::string path) override;
    std::string FolderOf(std::string path, std::int32_t flag) override;
    std::string PathWithoutExtension(std::string path) override;

  private:
    MemoryDisk& disk_;
};

class DiskFileSystem : public Components::FileSystem {
  public:
    explicit DiskFileSystem(MemoryDisk& disk) : disk_(disk) {}
    void Rename(std::string from, std::string to) override;
    void Kill(std::string path) override;
    std::string LogFolder() override;
    void AppendToFile(std::string path, std::string bytes) override;
    bool logWritable = true, logFolderKnown = true;

  private:
    MemoryDisk& disk_;
};

class DiskTempNames : public Components::TempNameServices {
  public:
    explicit DiskTempNames(MemoryDisk& disk) : disk_(disk) {}
    std::uint32_t GetTempPath(std::uint32_t bufferLength, std::string& buffer) override;
    std::uint32_t GetTempFileName(std::string folder, std::string prefix, std::uint32_t unique,
                                  std::string& buffer) override;
    std::vector<std::string> folders, prefixes;
    // When set, GetTempFileName returns this without touching the buffer or the disk.
    std::optional<std::uint32_t> failWith;
    bool terminateOnFailure = false;  // write an empty NUL-terminated text when failing

  private:
    MemoryDisk& disk_;
};

class DiskEngine : public Components::DatabaseEngine {
  public:
    explicit DiskEngine(MemoryDisk& disk) : disk_(disk) {}
    void CompactDatabase(std::string source, std::string destination) override;
    std::string Note() const override { return note; }
    std::vector<std::pair<std::string, std::string>> calls;
    std::string note;

  private:
    MemoryDisk& disk_;
};

struct Box {
    std::string prompt;
    std::int32_t flags;
    std::string title;
};

class ScriptedMessageBox : public Components::MessageBox {
  public:
    std::int32_t Show(std::string prompt, std::int32_t flags, std::string title) override;
    std::deque<std::int32_t> answers;  // for Yes/No boxes; Yes when none is left
    std::vector<Box> shown;
    std::function<void(const Box&)> onShow;
    bool fails = false;
};

class RecordingPointer : public Components::MousePointer {
  public:
    std::int32_t Get() override { return shape; }
    void Set(std::int32_t s) override {
        shape = s;
        history.push_back(s);
    }
    std::int32_t shape = 0;
    std::vector<std::int32_t> history;
};

class LevelSettings : public Components::LogSettings {
  public:
    std::int32_t LoggingLevel() override {
        ++asked;
        if (fails) Err::Raise(5, "LoggingLevel: settings unreadable");
        return level;
    }
    std::string PadText(std::string text, std::int32_t width, std::string fill) override;
    std::int32_t level = -1;
    int asked = 0;
    bool fails = false;
};

class FixedSystemInfo : public Components::SystemInfo {
  public:
    void GetOsVersion(Components::OsVersionRecord& record) override;
    std::uint32_t platformId = Components::kPlatformNtFamily;
    bool handedZeroed = true;
};

class SteppingClock : public Components::Clock {
  public:
    // Each reading takes the next time; the last one repeats.
    Components::LocalTime Now() override;
    std::string TimeSeparator() override { return separator; }
    std::vector<Components::LocalTime> times{{2024, 3, 2, 9, 5, 7}};
    std::string separator = ":";
    std::size_t next = 0;
};

class FixedApplication : public Components::Application {
  public:
    std::string Title() override { return title; }
    std::string ExeBaseName() override { return baseName; }
    std::string title = "Tolvane";
    std::string baseName = "Tolvane";
};

class FakeProcessMemory : public Components::ProcessMemory {
  public:
    std::uint32_t GetCurrentProcessId() override;
    Components::ProcessHandle OpenProcess(std::uint32_t access, bool inherit,
                                          std::uint32_t processId) override;
    bool GetProcessMemoryInfo(Components::ProcessHandle process,
                              Components::ProcessMemoryCounters& counters,
                              std::uint32_t size) override;
    bool CloseHandle(Components::ProcessHandle handle) override;
    std::uint32_t workingSet = 1234567, pagefile = 89012;
    bool openFails = false;
    std::vector<std::string> calls;
};

class ScriptedOpenFileDialog : public Components::OpenFileDialog {
  public:
    void SelectFile(std::int32_t owner, std::string& fileTitle, std::string initialFile,
                    std::string filter, std::string initialFolder, std::string& defaultExtension,
                    std::int32_t& flags, std::string title, std::int32_t reserved,
                    std::string& result) override;
    std::string chosen;
    struct Call {
        std::int32_t owner;
        std::string fileTitle, initialFile, filter, initialFolder, defaultExtension;
        std::int32_t flags;
        std::string title;
        std::int32_t reserved;
    };
    std::vector<Call> calls;
};

class FakeDialogObject : public Components::DialogObject {
  public:
    void SetProperty(const std::string& name, Components::PropertyValue value) override;
    Components::PropertyValue GetProperty(const std::string& name) override;
    std::vector<std::pair<std::string, Components::PropertyValue>> sets;
    std::map<std::string, Components::PropertyValue> properties;
    std::optional<std::string> choice;  // nullopt: the user cancels
    std::int32_t actionError = 0;       // raised by Action when non-zero, whatever the choice
};

// All doubles installed at once; the process's instances are given back on destruction.
class World {
  public:
    World();
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    MemoryDisk disk;
    DiskFileTools* fileTools;
    DiskFileSystem* fileSystem;
    DiskTempNames* tempNames;
    DiskEngine* engine;
    ScriptedMessageBox* messageBox;
    RecordingPointer* pointer;
    LevelSettings* settings;
    FixedSystemInfo* systemInfo;
    SteppingClock* clock;
    FixedApplication* application;
    FakeProcessMemory* memory;
    ScriptedOpenFileDialog* openDialog;

    // The log file of the clock's first day.
    std::string LogText() const;
    std::vector<std::string> LogMessages() const;  // the lines with time and indent cut off
};

}  // namespace Doubles
