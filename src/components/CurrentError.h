// The error model every module shares: an error raised is a typed exception carrying a
// number and a description, and the process keeps one record of the last error raised
// under continue-on-error, plus the last system error code a platform service left.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace Err {

// A raised error. Components raise it for a failing status, naming the operation in the
// description; modules raise it for their own failures.
class Error : public std::exception {
  public:
    Error(std::int32_t number, std::string description)
        : number_(number), description_(std::move(description)) {}
    std::int32_t Number() const noexcept { return number_; }
    const std::string& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

  private:
    std::int32_t number_;
    std::string description_;
};

// The error numbers the modules and components raise themselves.
enum : std::int32_t {
    kInvalidProcedureCall = 5,
    kOverflow = 6,
    kOutOfMemory = 7,
    kBadFileNameOrNumber = 52,
    kFileNotFound = 53,
    kFileAlreadyExists = 58,
    kDiskFull = 61,
    kPermissionDenied = 70,
    kPathFileAccessError = 75,
    kPathNotFound = 76,
    kObjectNotSet = 91,
    kCannotCreateObject = 429,
    kDllNotFound = 48,
    kEntryPointNotFound = 453,
    kDialogCancelled = 32755,
};

// The process-wide current-error record.
struct CurrentErrorRecord {
    std::int32_t Number = 0;
    std::string Description;
    // The code a platform service left on its last failure (errno or GetLastError()).
    std::int64_t LastDllError = 0;
};

CurrentErrorRecord& Current();

// Clears number and description; the system error code belongs to the services.
void Clear();

// Raises an error: records it as the current error and throws it.
[[noreturn]] void Raise(std::int32_t number, std::string description);

// Turns whatever a step let out into an error value: an Error as it is, anything else as
// the nearest standard error, so no exception of the library can bypass the error modes.
Error Capture(std::exception_ptr raised);

// Continue-on-error for the life of the object: switching it on and off clears the
// current error; Step runs one step and, when the step raises, records the error and
// abandons the step only.
class ResumeNext {
  public:
    ResumeNext() { Clear(); }
    ~ResumeNext() { Clear(); }
    ResumeNext(const ResumeNext&) = delete;
    ResumeNext& operator=(const ResumeNext&) = delete;

    // True when the step ran to its end without raising.
    template <class Action>
    bool Step(Action&& step) {
        try {
            std::forward<Action>(step)();
            return true;
        } catch (...) {
            Record(Capture(std::current_exception()));
            return false;
        }
    }

  private:
    static void Record(const Error& error);
};

}  // namespace Err

namespace Err {
// The standard wording for an error number the program can meet; empty for any other.
std::string StandardText(std::int32_t number);
}  // namespace Err
