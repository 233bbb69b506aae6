// A DLL loaded by name and kept for the life of the object, with its functions looked up by
// name: the program binds the services it may lack this way, so a missing one is an error
// in the caller rather than a program that will not start.
#pragma once

#include "components/windows/Win32.h"

#include <string>

namespace Components::Win {

class LoadedLibrary {
  public:
    // Raises 48 "File not found: <dll>" when the library cannot be loaded.
    explicit LoadedLibrary(std::string name);
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    // Raises 453 "Can't find DLL entry point <function> in <dll>" when it is not exported.
    template <class Function>
    Function Bind(const char* function) const {
        // Through the generic function type, which converts to any other without a warning.
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(Address(function)));
    }

  private:
    FARPROC Address(const char* function) const;

    std::string name_;
    HMODULE module_;
};

// The process's one loaded copy of `dll`, loaded at the first call that asks for it and kept:
// a failed load raises in that caller and is tried again by the next one.
const LoadedLibrary& Library(const std::string& dll);

}  // namespace Components::Win
