#include "components/windows/LoadedLibrary.h"

#include <map>
#include <memory>

#include "components/CurrentError.h"
#include "components/windows/WinText.h"

namespace Components::Win {

LoadedLibrary::LoadedLibrary(std::string name)
    : name_(std::move(name)), module_(LoadLibraryW(Wide(name_).c_str())) {
    if (module_ == nullptr) {
        Err::Current().LastDllError = GetLastError();
        Err::Raise(Err::kDllNotFound, "File not found: " + name_);
    }
}

LoadedLibrary::~LoadedLibrary() { FreeLibrary(module_); }

FARPROC LoadedLibrary::Address(const char* function) const {
    const FARPROC address = GetProcAddress(module_, function);
    if (address == nullptr) {
        Err::Current().LastDllError = GetLastError();
        Err::Raise(Err::kEntryPointNotFound,
                   std::string("Can't find DLL entry point ") + function + " in " + name_);
    }
    return address;
}

const LoadedLibrary& Library(const std::string& dll) {
    static std::map<std::string, std::unique_ptr<LoadedLibrary>> loaded;
    auto& slot = loaded[dll];
    if (!slot) slot = std::make_unique<LoadedLibrary>(dll);
    return *slot;
}

}  // namespace Components::Win
