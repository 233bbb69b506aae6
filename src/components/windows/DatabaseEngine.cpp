// The Jet engine through its automation object, late-bound as a scripting client would
// reach it, with its errors numbered the way such a client numbers them; which engine is asked
// depends on the database's format (EngineChoice.h). The engine's repair
// may drop records it cannot read and still report success, so its copy is read back and
// compared with the database before it is trusted.
#include "components/DatabaseEngine.h"

#include "components/windows/Win32.h"

#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "components/CurrentError.h"
#include "components/EngineChoice.h"
#include "components/EngineErrors.h"
#include "components/jet/CopyProof.h"
#include "components/jet/HeaderPassword.h"
#include "components/windows/ComSupport.h"
#include "components/windows/EngineErrors.h"
#include "components/windows/FilePages.h"
#include "components/windows/HeldCopy.h"
#include "components/windows/InProcessEngine.h"
#include "components/windows/WinErrors.h"
#include "components/windows/WinPaths.h"
#include "components/windows/WinText.h"

namespace Components {

namespace {

using Win::Bstr;
using Win::ComPtr;

#ifdef _WIN64
constexpr bool kProgram64 = true;
#else
constexpr bool kProgram64 = false;
#endif

[[noreturn]] void RaiseCannotCreate() {
    Err::Raise(Err::kCannotCreateObject, Err::StandardText(Err::kCannotCreateObject));
}

std::vector<std::string> RegisteredEngines() {
    std::vector<std::string> registered;
    for (const char* progId : {kJet4Engine, kAceEngine}) {
        CLSID clsid;
        if (SUCCEEDED(CLSIDFromProgID(Win::Wide(progId).c_str(), &clsid))) {
            registered.push_back(progId);
        }
    }
    return registered;
}

// The format byte of the database; nothing, and no error left behind, when it cannot be read.
std::optional<unsigned> FormatVersion(const std::string& path) {
    const Err::CurrentErrorRecord before = Err::Current();
    try {
        const auto pages = Win::OpenFilePages(path);
        std::uint8_t version = 0;
        if (pages->Size() > 0x14 && pages->Read(0x14, {&version, 1})) return version;
    } catch (const Err::Error&) {
        Err::Current() = before;
    }
    return std::nullopt;
}

ComPtr<IDispatch> CreateEngine(const std::string& progId, DWORD context) {
    ComPtr<IDispatch> engine;
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(Win::Wide(progId).c_str(), &clsid))) return engine;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, context, IID_IDispatch,
                                        reinterpret_cast<void**>(engine.Receive()));
    if (FAILED(hr)) engine.Reset();
    return engine;
}

// The password, where there is one, goes both ways the engine reads it: ";pwd=" as the last
// argument opens the source and as the locale alone gives it to the copy, which a locale
// constant before it would re-collate; the options are left out, so that the version and the
// encryption stay as they are.
void Compact(IDispatch& engine, const std::string& source, const std::string& destination,
             const std::string& password) {
    OLECHAR method[] = L"CompactDatabase";
    LPOLESTR names[] = {method};
    DISPID dispid = DISPID_UNKNOWN;
    HRESULT hr = engine.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr)) Win::RaiseInvokeFailure(hr, nullptr);

    const Bstr sourceName(source);
    const Bstr destinationName(destination);
    std::wstring connect = password.empty() ? std::wstring() : Win::Wide(";pwd=" + password);
    BSTR locale = password.empty() ? nullptr : SysAllocString(connect.c_str());
    BSTR connectArgument = password.empty() ? nullptr : SysAllocString(connect.c_str());
    SecureZeroMemory(connect.data(), connect.size() * sizeof(wchar_t));
    // Arguments go in reverse order: the last one first.
    VARIANTARG arguments[5];
    for (VARIANTARG& argument : arguments) VariantInit(&argument);
    const UINT count = password.empty() ? 2 : 5;
    VARIANTARG* at = arguments;
    if (count == 5) {
        at[0].vt = VT_BSTR;
        at[0].bstrVal = connectArgument;
        at[1].vt = VT_ERROR;
        at[1].scode = DISP_E_PARAMNOTFOUND;
        at[2].vt = VT_BSTR;
        at[2].bstrVal = locale;
        at += 3;
    }
    at[0].vt = VT_BSTR;
    at[0].bstrVal = destinationName.Get();
    at[1].vt = VT_BSTR;
    at[1].bstrVal = sourceName.Get();
    DISPPARAMS parameters{arguments, nullptr, count, 0};

    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT badArgument = 0;
    hr = engine.Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, &result,
                       &exception, &badArgument);
    VariantClear(&result);
    for (BSTR secret : {locale, connectArgument}) {
        if (secret == nullptr) continue;
        SecureZeroMemory(secret, SysStringByteLen(secret));
        SysFreeString(secret);
    }
    if (FAILED(hr)) Win::RaiseInvokeFailure(hr, hr == DISP_E_EXCEPTION ? &exception : nullptr);
}

// Sets the engine's property `name` to the text `value`, which is wiped once the engine has it.
void Put(IDispatch& engine, const wchar_t* name, const std::string& value) {
    std::wstring member = name;
    LPOLESTR names[] = {member.data()};
    DISPID dispid = DISPID_UNKNOWN;
    HRESULT hr = engine.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr)) Win::RaiseInvokeFailure(hr, nullptr);
    std::wstring wide = Win::Wide(value);
    VARIANTARG argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(wide.c_str());
    SecureZeroMemory(wide.data(), wide.size() * sizeof(wchar_t));
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{&argument, &put, 1, 1};
    EXCEPINFO exception{};
    hr = engine.Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &parameters,
                       nullptr, &exception, nullptr);
    SecureZeroMemory(argument.bstrVal, SysStringByteLen(argument.bstrVal));
    SysFreeString(argument.bstrVal);
    if (FAILED(hr)) Win::RaiseInvokeFailure(hr, hr == DISP_E_EXCEPTION ? &exception : nullptr);
}

// The engine reads its workgroup file once, as it starts: told it after any other call, it
// would sign in to its default one.
void SignIn(IDispatch& engine, const Account& account, const std::string& workgroup) {
    Put(engine, L"SystemDB", workgroup);
    Put(engine, L"DefaultUser", account.User);
    Put(engine, L"DefaultPassword", account.Password);
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(Win::FilePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The engine is not known to take a path of MAX_PATH characters or more, nor the "\\?\" form:
// it is given the short form, and where the volume keeps none the run stops before the engine
// has written anything.
std::string ForEngine(const std::string& path, const std::string& database) {
    std::string shortened = Win::ShortEnough(path);
    if (!shortened.empty()) return shortened;
    Err::Current().LastDllError = ERROR_FILENAME_EXCED_RANGE;
    Err::Raise(kEngineInvalidPath,
               "The path '" + path + "' is " + std::to_string(Win::Wide(path).size()) +
                   " characters long, and the database engine takes fewer than " +
                   std::to_string(MAX_PATH) +
                   "; its volume keeps no short form of it. Nothing has been written, and the "
                   "database '" +
                   database + "' has not been changed");
}

class ComDatabaseEngine final : public DatabaseEngine {
  public:
    explicit ComDatabaseEngine(DWORD context) : context_(context) {}

    void CompactDatabase(std::string source, std::string destination, const std::string& password,
                         const Account& account) override {
        note_.clear();
        // The database first: a report about it says the most.
        const std::string engineSource = ForEngine(source, source);
        const std::string engineDestination = ForEngine(destination, source);
        CompactWithEngineForFormat(
            source, destination, engineSource, engineDestination, password, account,
            account.Workgroup.empty() ? "" : ForEngine(account.Workgroup, source));
    }

    // The copy stays under its name when it lacks rows: the report names it for the user.
    void ProveHeldCopy(std::string source, std::string destination) override {
        note_ = Win::ProveAndFlushCopy(source, destination);
    }

    std::string Note() const override { return note_; }

  private:
    // Asks the engines in turn until one compacts the file: the one a format needs may be
    // missing, and an engine that does not read the format says only 3343.
    void CompactWithEngineForFormat(const std::string& source, const std::string& destination,
                                    const std::string& engineSource,
                                    const std::string& engineDestination,
                                    const std::string& password, const Account& account,
                                    const std::string& workgroup) {
        Win::EnsureComInitialized();
        const std::vector<std::string> registered = RegisteredEngines();
        const EngineChoice choice =
            ChooseEngines(FormatVersion(source), kProgram64, registered, source);
        const Err::CurrentErrorRecord before = Err::Current();
        std::optional<Err::Error> refusal;
        bool readerAsked = false;
        for (const std::string& progId : choice.Engines) {
            ComPtr<IDispatch>& engine = engines_[progId];
            // Signing in is the first thing a new engine is told, so each account gets its own.
            if (!engine || !workgroup.empty()) engine = CreateEngine(progId, context_);
            if (!engine) continue;
            if (std::ranges::find(choice.Readers, progId) != choice.Readers.end()) {
                readerAsked = true;
            }
            // The temporary name is free when the engine is called; what is under it after a
            // refusal is the engine's unfinished copy, which would make the next one fail.
            const bool destinationWasFree = !Exists(destination);
            try {
                if (!workgroup.empty()) SignIn(*engine.Get(), account, workgroup);
                Compact(*engine.Get(), engineSource, engineDestination, password);
                Err::Current() = before;
                return;
            } catch (const Err::Error& error) {
                // A refused password is asked again: nothing of the engine's may stay behind.
                if ((error.Number() == kEngineNotValidPassword ||
                     error.Number() == kEngineNotValidAccount) &&
                    destinationWasFree && Exists(destination)) {
                    DeleteFileW(Win::FilePath(destination).c_str());
                }
                if (error.Number() != kEngineUnrecognisedFormat) throw;
                refusal = error;
            }
            if (destinationWasFree && Exists(destination) &&
                !DeleteFileW(Win::FilePath(destination).c_str())) {
                Err::Raise(refusal->Number(), refusal->Description() +
                                                  " The engine's unfinished copy is left as '" +
                                                  destination + "'.");
            }
        }
        if (!choice.Missing.empty() && !readerAsked) {
            Err::Raise(refusal ? refusal->Number() : Err::kCannotCreateObject, choice.Missing);
        }
        if (refusal) Err::Raise(refusal->Number(), refusal->Description());
        RaiseCannotCreate();
    }

    // Each created by the first compaction that asks it, and kept for the process.
    std::map<std::string, ComPtr<IDispatch>> engines_;
    std::string note_;
    DWORD context_;
};

}  // namespace

std::unique_ptr<DatabaseEngine> CreatePlatformInstance(Tag<DatabaseEngine>) {
    return std::make_unique<ComDatabaseEngine>(CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER);
}

std::unique_ptr<DatabaseEngine> Win::CreateInProcessEngine() {
    return std::make_unique<ComDatabaseEngine>(CLSCTX_INPROC_SERVER);
}

}  // namespace Components
