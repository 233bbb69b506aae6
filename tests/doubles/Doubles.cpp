#include "doubles/Doubles.h"

#include <algorithm>
#include <cstdio>

#include "components/CurrentError.h"
#include "general/qnGeneral.h"

namespace Doubles {

namespace {

std::size_t LastSeparator(const std::string& path) { return path.find_last_of("\\/"); }

void WriteIntoBuffer(std::string& buffer, const std::string& text) {
    std::copy(text.begin(), text.end(), buffer.begin());
    buffer[text.size()] = '\0';
}

}  // namespace

bool MemoryDisk::Failing(const std::string& operation) {
    ++operations;
    trace.push_back(operation);
    if (crashAt != 0 && operations >= crashAt) crashed = true;
    return crashed || operations == failAt ||
           std::find(alwaysFail.begin(), alwaysFail.end(), operation) != alwaysFail.end();
}

void MemoryDisk::Check(const std::string& operation) {
    if (Failing(operation)) Err::Raise(failNumber, operation + ": injected failure");
}

double DiskFileTools::FileSize(std::string path) {
    disk_.Check("FileSize");
    const auto file = disk_.files.find(path);
    return file == disk_.files.end() ? -1 : static_cast<double>(file->second.size());
}

std::string DiskFileTools::FolderOf(std::string path, std::int32_t) {
    disk_.Check("FolderOf");
    const auto at = LastSeparator(path);
    return at == std::string::npos ? "" : path.substr(0, at + 1);
}

std::string DiskFileTools::PathWithoutExtension(std::string path) {
    disk_.Check("PathWithoutExtension");
    const auto dot = path.find_last_of('.');
    const auto separator = LastSeparator(path);
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
        return path;
    }
    return path.substr(0, dot);
}

void DiskFileSystem::Rename(std::string from, std::string to) {
    disk_.Check("Rename");
    if (!disk_.Exists(from)) Err::Raise(53, "Rename: no file " + from);
    if (disk_.Exists(to)) Err::Raise(58, "Rename: " + to + " exists");
    disk_.files[to] = std::move(disk_.files[from]);
    disk_.files.erase(from);
}

void DiskFileSystem::Kill(std::string path) {
    disk_.Check("Kill");
    if (disk_.files.erase(path) == 0) Err::Raise(53, "Kill: no file " + path);
}

std::string DiskFileSystem::LogFolder() {
    if (!logFolderKnown) Err::Raise(76, "LogFolder: no home folder");
    return "c:\\";
}

void DiskFileSystem::AppendToFile(std::string path, std::string bytes) {
    // The log is not one of the operations a fault test walks through.
    if (!logWritable) {
        Err::Current().LastDllError = 13;
        Err::Raise(70, "AppendToFile: read-only folder");
    }
    if (disk_.crashed) Err::Raise(70, "AppendToFile: crashed");
    disk_.files[path] += bytes;
}

std::uint32_t DiskTempNames::GetTempPath(std::uint32_t bufferLength, std::string& buffer) {
    if (disk_.Failing("GetTempPath") || disk_.tempPathError != 0) {
        Err::Current().LastDllError = disk_.tempPathError ? disk_.tempPathError : 5;
        return 0;
    }
    if (disk_.tempFolder.size() + 1 > bufferLength) {
        return static_cast<std::uint32_t>(disk_.tempFolder.size() + 1);
    }
    WriteIntoBuffer(buffer, disk_.tempFolder);
    return static_cast<std::uint32_t>(disk_.tempFolder.size());
}

std::uint32_t DiskTempNames::GetTempFileName(std::string folder, std::string prefix, std::uint32_t,
                                             std::string& buffer) {
    folders.push_back(folder);
    prefixes.push_back(prefix);
    if (failWith) {
        if (terminateOnFailure) buffer[0] = '\0';
        return *failWith;
    }
    if (disk_.Failing("GetTempFileName")) {
        Err::Current().LastDllError = 3;
        return 0;
    }
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    std::string name;
    if (!disk_.forcedTempNames.empty()) {
        name = folder + disk_.forcedTempNames.front();
        disk_.forcedTempNames.pop_front();
    } else {
        do {
            char unique[8];
            std::snprintf(unique, sizeof unique, "%X", ++disk_.tempCounter);
            name = folder + prefix.substr(0, 3) + unique + ".TMP";
        } while (disk_.Exists(name));
    }
    disk_.files[name] = "";
    WriteIntoBuffer(buffer, name);
    return 1;
}

void DiskEngine::CompactDatabase(std::string source, std::string destination) {
    calls.emplace_back(source, destination);
    disk_.Check("CompactDatabase");
    if (disk_.engineError) Err::Raise(disk_.engineError->first, disk_.engineError->second);
    if (!disk_.Exists(source)) Err::Raise(3024, "Could not find file '" + source + "'.");
    if (disk_.Exists(destination)) Err::Raise(3204, "Database already exists.");
    disk_.files[destination] = MemoryDisk::Compacted(disk_.files[source]);
}

std::int32_t ScriptedMessageBox::Show(std::string prompt, std::int32_t flags, std::string title) {
    if (fails) Err::Raise(5, "MessageBox: no display");
    shown.push_back({prompt, flags, title});
    if (onShow) onShow(shown.back());
    if ((flags & 7) != Components::kMbYesNo) return Components::kIdOk;
    if (answers.empty()) return Components::kIdYes;
    const auto answer = answers.front();
    answers.pop_front();
    return answer;
}

std::string LevelSettings::PadText(std::string text, std::int32_t width, std::string fill) {
    while (static_cast<std::int32_t>(text.size()) < width) text = fill + text;
    return text;
}

void FixedSystemInfo::GetOsVersion(Components::OsVersionRecord& record) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    handedZeroed =
        std::all_of(bytes, bytes + sizeof record, [](unsigned char b) { return b == 0; });
    record.Size = sizeof record;
    record.MajorVersion = 10;
    record.PlatformId = platformId;
}

Components::LocalTime SteppingClock::Now() {
    const auto t = times[std::min(next, times.size() - 1)];
    ++next;
    return t;
}

std::uint32_t FakeProcessMemory::GetCurrentProcessId() {
    calls.push_back("GetCurrentProcessId");
    return 4242;
}

Components::ProcessHandle FakeProcessMemory::OpenProcess(std::uint32_t access, bool inherit,
                                                         std::uint32_t processId) {
    calls.push_back("OpenProcess " + std::to_string(access) + " " + std::to_string(inherit) + " " +
                    std::to_string(processId));
    return openFails ? 0 : 77;
}

bool FakeProcessMemory::GetProcessMemoryInfo(Components::ProcessHandle process,
                                             Components::ProcessMemoryCounters& counters,
                                             std::uint32_t size) {
    calls.push_back("GetProcessMemoryInfo " + std::to_string(process) + " " +
                    std::to_string(counters.Cb) + " " + std::to_string(size));
    if (process != 77) return false;
    counters.WorkingSetSize = workingSet;
    counters.PagefileUsage = pagefile;
    return true;
}

bool FakeProcessMemory::CloseHandle(Components::ProcessHandle handle) {
    calls.push_back("CloseHandle " + std::to_string(handle));
    return handle != 0;
}

void ScriptedOpenFileDialog::SelectFile(std::int32_t owner, std::string& fileTitle,
                                        std::string initialFile, std::string filter,
                                        std::string initialFolder, std::string& defaultExtension,
                                        std::int32_t& flags, std::string title,
                                        std::int32_t reserved, std::string& result) {
    calls.push_back({owner, fileTitle, initialFile, filter, initialFolder, defaultExtension, flags,
                     title, reserved});
    result = chosen;
}

void FakeDialogObject::SetProperty(const std::string& name, Components::PropertyValue value) {
    sets.emplace_back(name, value);
    if (name != "Action") {
        properties[name] = std::move(value);
        return;
    }
    if (choice) properties["Filename"] = *choice;
    if (actionError != 0) Err::Raise(actionError, "Action: dialog failed");
    if (!choice) {
        const auto cancelError = properties.find("CancelError");
        if (cancelError != properties.end() && std::get<std::int16_t>(cancelError->second) != 0) {
            Err::Raise(Err::kDialogCancelled, "Cancel was selected.");
        }
    }
}

Components::PropertyValue FakeDialogObject::GetProperty(const std::string& name) {
    return properties.at(name);
}

World::World() {
    using namespace Components;
    fileTools = new DiskFileTools(disk);
    Instance<FileTools>::Install(std::unique_ptr<FileTools>(fileTools));
    fileSystem = new DiskFileSystem(disk);
    Instance<FileSystem>::Install(std::unique_ptr<FileSystem>(fileSystem));
    tempNames = new DiskTempNames(disk);
    Instance<TempNameServices>::Install(std::unique_ptr<TempNameServices>(tempNames));
    engine = new DiskEngine(disk);
    Instance<DatabaseEngine>::Install(std::unique_ptr<DatabaseEngine>(engine));
    messageBox = new ScriptedMessageBox;
    Instance<MessageBox>::Install(std::unique_ptr<MessageBox>(messageBox));
    pointer = new RecordingPointer;
    Instance<MousePointer>::Install(std::unique_ptr<MousePointer>(pointer));
    settings = new LevelSettings;
    Instance<LogSettings>::Install(std::unique_ptr<LogSettings>(settings));
    systemInfo = new FixedSystemInfo;
    Instance<SystemInfo>::Install(std::unique_ptr<SystemInfo>(systemInfo));
    clock = new SteppingClock;
    Instance<Clock>::Install(std::unique_ptr<Clock>(clock));
    application = new FixedApplication;
    Instance<Application>::Install(std::unique_ptr<Application>(application));
    memory = new FakeProcessMemory;
    Instance<ProcessMemory>::Install(std::unique_ptr<ProcessMemory>(memory));
    openDialog = new ScriptedOpenFileDialog;
    Instance<OpenFileDialog>::Install(std::unique_ptr<OpenFileDialog>(openDialog));
    qnGeneral::LogIndent = 0;
    Err::Clear();
}

World::~World() {
    using namespace Components;
    Instance<FileTools>::Install(nullptr);
    Instance<FileSystem>::Install(nullptr);
    Instance<TempNameServices>::Install(nullptr);
    Instance<DatabaseEngine>::Install(nullptr);
    Instance<MessageBox>::Install(nullptr);
    Instance<MousePointer>::Install(nullptr);
    Instance<LogSettings>::Install(nullptr);
    Instance<SystemInfo>::Install(nullptr);
    Instance<Clock>::Install(nullptr);
    Instance<Application>::Install(nullptr);
    Instance<ProcessMemory>::Install(nullptr);
    Instance<OpenFileDialog>::Install(nullptr);
    qnGeneral::LogIndent = 0;
    Err::Clear();
}

std::string World::LogText() const {
    const auto log = disk.files.find("c:\\Tolvane.20240302.log");
    return log == disk.files.end() ? "" : log->second;
}

std::vector<std::string> World::LogMessages() const {
    std::vector<std::string> lines;
    const std::string text = LogText();
    std::size_t start = 0;
    for (auto end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start + 8, end - start - 8));
        start = end + 2;
    }
    return lines;
}

}  // namespace Doubles
