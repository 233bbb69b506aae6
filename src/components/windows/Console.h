// The one difference between the two Windows programs built from the same sources: Tolvane.exe
// is linked for the GUI subsystem, so cmd.exe neither waits for it nor sees its status, and
// Tolvane.com for the console subsystem, which a shell waits for and which has standard
// output and error to tell what it did.
#pragma once

#include <string>

namespace Components::Win {

// Whether the executable was linked for the console subsystem, as its own header records.
bool ConsoleProgram();

// Writes `text` and a line break to standard error when `toError`, else to standard output,
// as UTF-16 to a console and as UTF-8 to a file or pipe, each line ending in CR LF. Raises
// Err::Error when the text cannot be written whole.
void WriteStandardLine(const std::string& text, bool toError);

}  // namespace Components::Win
