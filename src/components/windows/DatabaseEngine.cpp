// The Jet engine through its automation object, late-bound as a scripting client would
// reach it, with its errors numbered the way such a client numbers them. The engine's repair
// may drop records it cannot read and still report success, so its copy is read back and
// compared with the database before it is trusted.
#include "components/DatabaseEngine.h"

#include "components/windows/Win32.h"

#include <objbase.h>
#include <oleauto.h>

#include "components/CurrentError.h"
#include "components/DatabaseHold.h"
#include "components/jet/CopyProof.h"
#include "components/windows/ComSupport.h"
#include "components/windows/EngineErrors.h"
#include "components/windows/FilePages.h"
#include "components/windows/WinErrors.h"
#include "components/windows/WinText.h"

namespace Components {

namespace {

using Win::Bstr;
using Win::ComPtr;

#ifdef _WIN64
// Jet 4.0 exists only as a 32-bit engine: a 64-bit process can load only the one after it.
constexpr const wchar_t* kProgIds[] = {L"DAO.DBEngine.120"};
#else
// Jet 4.0 first; newer systems may carry only the engine that came after it.
constexpr const wchar_t* kProgIds[] = {L"DAO.DBEngine.36", L"DAO.DBEngine.120"};
#endif

[[noreturn]] void RaiseCannotCreate() {
    Err::Raise(Err::kCannotCreateObject, Err::StandardText(Err::kCannotCreateObject));
}

ComPtr<IDispatch> CreateEngine() {
    Win::EnsureComInitialized();
    for (const wchar_t* progId : kProgIds) {
        CLSID clsid;
        if (FAILED(CLSIDFromProgID(progId, &clsid))) continue;
        ComPtr<IDispatch> engine;
        const HRESULT hr =
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                             IID_IDispatch, reinterpret_cast<void**>(engine.Receive()));
        if (SUCCEEDED(hr) && engine) return engine;
    }
    RaiseCannotCreate();
}

constexpr std::int32_t kEngineCannotRepair = 3056;  // Could not repair this database.

// A file that cannot even be opened reads as unreadable, and leaves no error behind.
Jet::CheckReport CheckFile(const std::string& path) {
    const Err::CurrentErrorRecord before = Err::Current();
    try {
        return Jet::CheckDatabase(*Win::OpenFilePages(path));
    } catch (const Err::Error& error) {
        Err::Current() = before;
        Jet::CheckReport report;
        report.Outcome = Jet::Verdict::kUnreadable;
        report.Finding = error.Description();
        return report;
    }
}

// The engine leaves its copy to the cache, and a rename makes nothing durable: after a power
// cut the database's name could lead to data that never reached the disk. Opened for writing
// now, before the copy is given the database's access rules, which may deny this account that.
void FlushToDisk(const std::string& path) {
    const HANDLE file = CreateFileW(Win::Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Win::RaiseLastError("FlushFileBuffers '" + path + "'");
    const bool flushed = FlushFileBuffers(file);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!flushed) {
        SetLastError(error);
        Win::RaiseLastError("FlushFileBuffers '" + path + "'");
    }
}

class ComDatabaseEngine final : public DatabaseEngine {
  public:
    void CompactDatabase(std::string source, std::string destination) override {
        note_.clear();
        if (!engine_) engine_ = CreateEngine();

        OLECHAR method[] = L"CompactDatabase";
        LPOLESTR names[] = {method};
        DISPID dispid = DISPID_UNKNOWN;
        HRESULT hr = engine_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
        if (FAILED(hr)) Win::RaiseInvokeFailure(hr, nullptr);

        const Bstr sourceName(source);
        const Bstr destinationName(destination);
        // Arguments go in reverse order: the last one first.
        VARIANTARG arguments[2];
        VariantInit(&arguments[0]);
        VariantInit(&arguments[1]);
        arguments[0].vt = VT_BSTR;
        arguments[0].bstrVal = destinationName.Get();
        arguments[1].vt = VT_BSTR;
        arguments[1].bstrVal = sourceName.Get();
        DISPPARAMS parameters{arguments, nullptr, 2, 0};

        VARIANT result;
        VariantInit(&result);
        EXCEPINFO exception{};
        UINT badArgument = 0;
        hr = engine_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                             &result, &exception, &badArgument);
        VariantClear(&result);
        if (FAILED(hr)) Win::RaiseInvokeFailure(hr, hr == DISP_E_EXCEPTION ? &exception : nullptr);

        // The engine has let go of the database: from now until its copy takes its name nobody
        // may write it, or the edit would stay behind in the backup. The proof may still read.
        auto& hold = The<DatabaseHold>();
        try {
            hold.Hold(source);
        } catch (const Err::Error& error) {
            Err::Raise(error.Number(), error.Description() + " The compacted copy is left as '" +
                                           destination + "'.");
        }
        // The copy stays under its name either way: the report names it for the user.
        Jet::CopyProof proof;
        try {
            proof = Jet::ProveCopy(CheckFile(source), CheckFile(destination), source, destination);
            if (proof.Shortfall) Err::Raise(kEngineCannotRepair, *proof.Shortfall);
        } catch (...) {
            // A copy that will not replace the database is no reason to keep others out.
            hold.Release();
            throw;
        }
        try {
            FlushToDisk(destination);
        } catch (const Err::Error& error) {
            hold.Release();
            const bool removed = DeleteFileW(Win::Wide(destination).c_str());
            Err::Raise(error.Number(),
                       error.Description() +
                           (removed ? " The compacted copy has been removed."
                                    : " The compacted copy is left as '" + destination + "'."));
        }
        note_ = proof.Note;
    }

    std::string Note() const override { return note_; }

  private:
    // Created by the first compaction and kept for the process.
    ComPtr<IDispatch> engine_;
    std::string note_;
};

}  // namespace

std::unique_ptr<DatabaseEngine> CreatePlatformInstance(Tag<DatabaseEngine>) {
    return std::make_unique<ComDatabaseEngine>();
}

}  // namespace Components
