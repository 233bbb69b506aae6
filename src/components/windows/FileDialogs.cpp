#include "components/FileDialogs.h"

#include "components/windows/Win32.h"

#include <commdlg.h>

#include <optional>

#include "components/CurrentError.h"
#include "components/DialogProperties.h"
#include "components/windows/DialogObject.h"
#include "components/windows/WinText.h"

namespace Components {

namespace {

struct OpenRequest {
    std::wstring filter;  // pairs, each item ending in NUL
    DWORD filterIndex = 0;
    std::wstring title;
    std::wstring initialFile;
    std::wstring initialFolder;
    std::wstring defaultExtension;
    DWORD flags = 0;
};

struct OpenAnswer {
    std::string path;
    std::string fileTitle;
    DWORD flags;
};

// The chosen file, or nothing when the user cancelled. Raises when no dialog can be shown.
std::optional<OpenAnswer> ShowOpenDialog(OpenRequest request) {
    // The dialog needs a double NUL after the last pattern; the string's own end gives it.
    std::wstring filter = std::move(request.filter);
    std::wstring file(Win::kLongPath + 1, L'\0');
    file.replace(0, request.initialFile.size(), request.initialFile);
    std::wstring fileTitle(Win::kLongPath + 1, L'\0');

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = nullptr;
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = request.filterIndex;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrFileTitle = fileTitle.data();
    ofn.nMaxFileTitle = static_cast<DWORD>(fileTitle.size());
    ofn.lpstrInitialDir = request.initialFolder.empty() ? nullptr : request.initialFolder.c_str();
    ofn.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
    ofn.lpstrDefExt = request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
    ofn.Flags = request.flags;

    if (!GetOpenFileNameW(&ofn)) {
        const DWORD error = CommDlgExtendedError();
        if (error == 0) return std::nullopt;
        Err::Current().LastDllError = error;
        Err::Raise(Err::kInvalidProcedureCall,
                   "SelectFile: the file-open dialog could not be shown (dialog error " +
                       std::to_string(error) + ")");
    }
    return OpenAnswer{Win::Utf8(file.c_str()), Win::Utf8(fileTitle.c_str()), ofn.Flags};
}

class Win32OpenFileDialog final : public OpenFileDialog {
  public:
    void SelectFile(std::int32_t, std::string& fileTitle, std::string initialFile,
                    std::string filter, std::string initialFolder, std::string& defaultExtension,
                    std::int32_t& flags, std::string title, std::int32_t,
                    std::string& result) override {
        OpenRequest request;
        request.filter = Win::Wide(filter);
        request.filterIndex = 1;
        request.title = Win::Wide(title);
        request.initialFile = Win::Wide(initialFile);
        request.initialFolder = Win::Wide(initialFolder);
        request.defaultExtension = Win::Wide(defaultExtension);
        request.flags = static_cast<DWORD>(flags);
        const auto answer = ShowOpenDialog(std::move(request));
        if (!answer) {
            result.clear();
            return;
        }
        result = answer->path;
        fileTitle = answer->fileTitle;
        flags = static_cast<std::int32_t>(answer->flags);
    }
};

// "Filter" uses "|" where the dialog wants NUL.
class Win32DialogObject final : public DialogProperties {
    std::optional<std::string> Show(const Fields& fields) override {
        OpenRequest request;
        std::string filter = fields.filter;
        for (char& c : filter) {
            if (c == '|') c = '\0';
        }
        if (!filter.empty()) filter += '\0';
        request.filter = Win::Wide(filter);
        request.filterIndex = static_cast<DWORD>(fields.filterIndex < 0 ? 0 : fields.filterIndex);
        request.title = Win::Wide(fields.title);
        request.initialFile = Win::Wide(fields.filename);
        request.initialFolder = Win::Wide(fields.initDir);
        request.defaultExtension = Win::Wide(fields.defaultExt);
        request.flags = static_cast<std::uint16_t>(fields.flags);
        const auto answer = ShowOpenDialog(std::move(request));
        if (!answer) return std::nullopt;
        return answer->path;
    }
};

}  // namespace

std::unique_ptr<OpenFileDialog> CreatePlatformInstance(Tag<OpenFileDialog>) {
    return std::make_unique<Win32OpenFileDialog>();
}

std::shared_ptr<DialogObject> Win::CreateDialogObject() {
    return std::make_shared<Win32DialogObject>();
}

}  // namespace Components
