// General services for the other modules: the diagnostic log, the problem reports and the
// temporary file names.
#pragma once

#include <cstdint>
#include <string>

namespace qnGeneral {

// A truth value: True is all bits set; any non-zero value counts as True.
using Truth = std::int16_t;
inline constexpr Truth True = -1;
inline constexpr Truth False = 0;

// The log's nesting depth for the whole process; each unit is four spaces. Only WriteLog
// changes it.
extern std::int32_t LogIndent;

// IndentAction values for WriteLog.
enum : std::int32_t { kIndentNone = 0, kIndentOpen = 1, kIndentClose = 2, kIndentReset = 3 };

// The default message level; -1 passed as a level stands for it.
inline constexpr std::int32_t kDefaultLevel = 5;

// Appends one time-stamped, indented line to the dated log file when the logging level lets
// it through. The write itself, finding the log's folder included, never fails the caller
// and leaves the current-error record as it was; asking the settings may fail.
void WriteLog(std::string text, std::int32_t level, const std::int32_t& IndentAction);

// The own process's working-set size and page-file usage in bytes; 0 when unknown.
void GetMemoryUsage(std::int32_t& WorkingSetSize, std::int32_t& PagefileUsage);

// Turns an error number into the problem message, shows it unless SilentMode is set, logs
// it and returns it.
std::string ReportError(std::string context, std::int32_t errorNumber, const Truth& SilentMode);

// Composes the problem message from a context and a detail, shows it in a warning box
// unless SilentMode is set, logs it and returns it.
std::string ShowProblem(std::string context, std::string detail, Truth SilentMode);

// A new file name in `folder` (empty: the user's temporary folder) with `extension`, under
// which no file with content stands; empty when none could be made.
std::string GetTempFile(std::string folder, std::string extension);

// Removes leading and trailing space characters only; tabs and line breaks stay.
std::string Trim(const std::string& text);

// Upper case for the ASCII letters; other bytes stay.
std::string UCase(std::string text);

}  // namespace qnGeneral
