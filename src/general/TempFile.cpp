#include "components/Application.h"
#include "components/CurrentError.h"
#include "components/FileSystem.h"
#include "components/FileTools.h"
#include "components/TempNameServices.h"
#include "components/UserInterface.h"
#include "general/qnGeneral.h"

namespace qnGeneral {

namespace {

constexpr std::size_t kBufferLength = 1024;

void Step(const char* text) {
    const std::int32_t indent = kIndentNone;
    WriteLog(text, -1, indent);
}

void Block(const char* text, std::int32_t indentAction) { WriteLog(text, 5, indentAction); }

std::string WithoutSpaces(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (c != ' ') result += c;
    }
    return result;
}

constexpr const char* kEndLine = "End GetTempFile";
constexpr const char* kNoNulLine =
    "Exit NewGetTempFile (GetTempFilename returned a non-Null terminated string)";

struct Outcome {
    std::string name;
    const char* closingLine;
};

Outcome FindName(std::string folder, const std::string& extension) {
    using Components::The;
    auto& services = The<Components::TempNameServices>();
    for (;;) {
        Step("Assign a string");
        std::string buffer(kBufferLength, ' ');

        if (folder.empty()) {
            Step("Get the user's temp path");
            const std::uint32_t length = services.GetTempPath(kBufferLength - 1, buffer);
            if (length == 0) {
                // The code is a 32-bit value, shown signed as the services define it.
                const auto code = static_cast<std::int32_t>(
                    static_cast<std::uint32_t>(Err::Current().LastDllError));
                Ui::MsgBox("Error getting a temporary file name :" + std::to_string(code),
                           Components::kMbIconStop);
                return {"", kEndLine};
            }
            folder = Trim(buffer.substr(0, length));
        }

        Step("AlphaNum the app.title");
        const std::string prefix = WithoutSpaces(UCase(The<Components::Application>().Title()));

        Step("Call GetTempFilename");
        const auto returned =
            static_cast<std::int32_t>(services.GetTempFileName(folder, prefix, 0, buffer));

        const auto end = buffer.find('\0');
        if (end == std::string::npos) {
            return {"", kNoNulLine};
        }
        if (returned <= 0) break;

        Step("Process the return");
        std::string candidate = Trim(buffer.substr(0, end));

        if (!extension.empty() && UCase(extension) != "TMP") {
            {
                // The service's empty file only reserved the name; losing it is harmless.
                Err::ResumeNext resume;
                resume.Step([&] { The<Components::FileSystem>().Kill(candidate); });
            }
            if (candidate.size() < 3)
                Err::Raise(Err::kInvalidProcedureCall, "Invalid procedure call or argument");
            candidate = candidate.substr(0, candidate.size() - 3) + extension;
            // An empty file under the name holds nothing of anyone's, so it may be taken.
            if (The<Components::FileTools>().FileSize(candidate) > 0) continue;
        }
        return {candidate, kEndLine};
    }
    return {"", kEndLine};
}

}  // namespace

std::string GetTempFile(std::string folder, std::string extension) {
    Block("Start GetTempFile", kIndentOpen);
    Outcome outcome;
    try {
        outcome = FindName(std::move(folder), extension);
    } catch (...) {
        // Close the block the error interrupted, so later lines keep their depth; the
        // error itself is the caller's.
        try {
            Block(kEndLine, kIndentClose);
        } catch (...) {
        }
        throw;
    }
    Block(outcome.closingLine, kIndentClose);
    return outcome.name;
}

}  // namespace qnGeneral
