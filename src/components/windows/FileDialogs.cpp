#include "components/FileDialogs.h"

#include "components/windows/Win32.h"

#include <commdlg.h>

#include <optional>

#include "components/CurrentError.h"
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
    std::wstring file(32768, L'\0');
    file.replace(0, request.initialFile.size(), request.initialFile);
    std::wstring fileTitle(MAX_PATH + 1, L'\0');

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

bool SameName(const std::string& a, const char* b) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b, -1) == CSTR_EQUAL;
}

// Named properties as a scripting client sets them; "Filter" uses "|" where the dialog
// wants NUL.
class Win32DialogObject final : public DialogObject {
  public:
    void SetProperty(const std::string& name, PropertyValue value) override {
        if (SameName(name, "Filter")) {
            filter_ = Text(value);
        } else if (SameName(name, "FilterIndex")) {
            filterIndex_ = Number(value);
        } else if (SameName(name, "DialogTitle")) {
            title_ = Text(value);
        } else if (SameName(name, "Flags")) {
            flags_ = Number(value);
        } else if (SameName(name, "CancelError")) {
            cancelError_ = Number(value) != 0;
        } else if (SameName(name, "InitDir")) {
            initDir_ = Text(value);
        } else if (SameName(name, "Filename")) {
            filename_ = Text(value);
        } else if (SameName(name, "DefaultExt")) {
            defaultExt_ = Text(value);
        } else if (SameName(name, "Action")) {
            if (Number(value) != 1)
                Err::Raise(Err::kInvalidProcedureCall,
                           Err::StandardText(Err::kInvalidProcedureCall));
            ShowOpen();
        } else {
            Unknown();
        }
    }

    PropertyValue GetProperty(const std::string& name) override {
        if (SameName(name, "Filter")) return filter_;
        if (SameName(name, "FilterIndex")) return filterIndex_;
        if (SameName(name, "DialogTitle")) return title_;
        if (SameName(name, "Flags")) return flags_;
        if (SameName(name, "CancelError")) return static_cast<std::int16_t>(cancelError_ ? -1 : 0);
        if (SameName(name, "InitDir")) return initDir_;
        if (SameName(name, "Filename")) return filename_;
        if (SameName(name, "DefaultExt")) return defaultExt_;
        if (SameName(name, "Action")) return static_cast<std::int16_t>(0);
        Unknown();
    }

  private:
    [[noreturn]] static void Unknown() { Err::Raise(438, Err::StandardText(438)); }

    static std::string Text(const PropertyValue& value) {
        if (const auto* text = std::get_if<std::string>(&value)) return *text;
        Err::Raise(13, Err::StandardText(13));
    }
    static std::int16_t Number(const PropertyValue& value) {
        if (const auto* number = std::get_if<std::int16_t>(&value)) return *number;
        Err::Raise(13, Err::StandardText(13));
    }

    void ShowOpen() {
        OpenRequest request;
        std::string filter = filter_;
        for (char& c : filter) {
            if (c == '|') c = '\0';
        }
        if (!filter.empty()) filter += '\0';
        request.filter = Win::Wide(filter);
        request.filterIndex = static_cast<DWORD>(filterIndex_ < 0 ? 0 : filterIndex_);
        request.title = Win::Wide(title_);
        request.initialFile = Win::Wide(filename_);
        request.initialFolder = Win::Wide(initDir_);
        request.defaultExtension = Win::Wide(defaultExt_);
        request.flags = static_cast<std::uint16_t>(flags_);
        const auto answer = ShowOpenDialog(std::move(request));
        if (!answer) {
            if (cancelError_) Err::Raise(Err::kDialogCancelled, "Cancel was selected.");
            return;
        }
        filename_ = answer->path;
    }

    std::string filter_;
    std::int16_t filterIndex_ = 0;
    std::string title_;
    std::int16_t flags_ = 0;
    bool cancelError_ = false;
    std::string initDir_;
    std::string filename_;
    std::string defaultExt_;
};

}  // namespace

std::unique_ptr<OpenFileDialog> CreatePlatformInstance(Tag<OpenFileDialog>) {
    return std::make_unique<Win32OpenFileDialog>();
}

std::shared_ptr<DialogObject> Win::CreateDialogObject() {
    return std::make_shared<Win32DialogObject>();
}

}  // namespace Components
