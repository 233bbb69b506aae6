// A stand-in database engine for the Wine suite: an in-process automation server whose
// CompactDatabase copies the source to a new destination, or fails as the real engine does
// (scode MAKE_HRESULT(1, FACILITY_CONTROL, number)) when TOLVANE_ENGINE_FAILURE is
// "<number>:<description>". With TOLVANE_ENGINE_DROP_ROW set it loses one row of a user table
// in its copy, as a repair that drops a record it cannot read does, and still reports success.
// It writes the source's first byte back as it opens it, as the real engine writes the header
// of a database it opens. With TOLVANE_ENGINE_KEEP_OPEN set it then opens the source for writing
// and keeps it open until its next call, as a user who opens the database the moment the engine
// lets go of it; with TOLVANE_ENGINE_STALL set it begins its copy and never returns. Served under
// two classes, it reads the formats the engine registered under that class reads: as
// DAO.DBEngine.36 none from 2007 on, as DAO.DBEngine.120 not the 1997 one; it refuses any other
// with 3343, leaving an empty destination behind. Like the engine it plays, which is not known to
// take them, it refuses a path of MAX_PATH characters or more with 3044. A database with a
// password in its header it opens only when the last of five arguments is ";pwd=<it>" (3031
// otherwise), and its copy gets the password of the locale, the third, alone. SystemDB counts
// only as its first call, as the engine reads it as it starts; then it takes no account but
// TOLVANE_ENGINE_ACCOUNT ("<user>:<password>"), and without it none but Admin (3029 otherwise).
// It adds each call's name, values left out, to the file TOLVANE_ENGINE_CALLS names.
#include <windows.h>

#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "EngineFiles.h"
#include "components/jet/HeaderPassword.h"

namespace {

// {6F1C2E3A-8B44-4C8E-9D2B-5A7E0C1D9F31}, {...9F32}
const CLSID kAce = {0x6f1c2e3a, 0x8b44, 0x4c8e, {0x9d, 0x2b, 0x5a, 0x7e, 0x0c, 0x1d, 0x9f, 0x31}};
const CLSID kJet4 = {0x6f1c2e3a, 0x8b44, 0x4c8e, {0x9d, 0x2b, 0x5a, 0x7e, 0x0c, 0x1d, 0x9f, 0x32}};
constexpr DISPID kCompactDatabase = 1;
const wchar_t* const kProperties[] = {L"SystemDB", L"DefaultUser", L"DefaultPassword"};

HANDLE g_keptOpen = INVALID_HANDLE_VALUE;

std::wstring Environment(const wchar_t* name) {
    wchar_t value[2048];
    const DWORD n = GetEnvironmentVariableW(name, value, 2048);
    return n == 0 || n >= 2048 ? std::wstring() : std::wstring(value, n);
}

// Fills the record as the engine does.
HRESULT Fail(EXCEPINFO* info, long number, const std::wstring& description) {
    if (info) {
        *info = EXCEPINFO{};
        info->bstrSource = SysAllocString(L"TestEngine");
        info->bstrDescription = SysAllocString(description.c_str());
        info->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number);
    }
    return DISP_E_EXCEPTION;
}

// The password after ";pwd=" in a text argument, or empty.
std::wstring PasswordIn(const VARIANTARG& argument) {
    if (argument.vt != VT_BSTR || !argument.bstrVal) return {};
    const std::wstring text = argument.bstrVal;
    return text.starts_with(L";pwd=") ? text.substr(5) : std::wstring();
}

template <bool Jet4>
class Engine final : public IDispatch {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        if (count == 1 && _wcsicmp(names[0], L"CompactDatabase") == 0) {
            ids[0] = kCompactDatabase;
            return S_OK;
        }
        for (DISPID id = 0; count == 1 && id < 3; ++id) {
            if (_wcsicmp(names[0], kProperties[id]) == 0)
                return ids[0] = kCompactDatabase + 1 + id, S_OK;
        }
        return DISP_E_UNKNOWNNAME;
    }

    // A property put: SystemDB counts only as the first call.
    HRESULT Put(DISPID id, DISPPARAMS* params) {
        if (params->cArgs != 1 || params->rgvarg[0].vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
        Record(kProperties[id - kCompactDatabase - 1]);
        std::wstring* kept[] = {calls_++ == 0 ? &systemDb_ : &ignored_, &user_, &password_};
        *kept[id - kCompactDatabase - 1] =
            params->rgvarg[0].bstrVal ? params->rgvarg[0].bstrVal : L"";
        return S_OK;
    }

    static void Record(const wchar_t* call) {
        const std::wstring record = Environment(L"TOLVANE_ENGINE_CALLS");
        FILE* f = record.empty() ? nullptr : _wfopen(record.c_str(), L"a");
        if (f) fwprintf(f, L"%ls\n", call), fclose(f);
    }

    bool SignedIn() const {
        return systemDb_.empty()
                   ? user_.empty() || _wcsicmp(user_.c_str(), L"Admin") == 0
                   : user_ + L":" + password_ == Environment(L"TOLVANE_ENGINE_ACCOUNT");
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT*, EXCEPINFO* info, UINT* badArgument) override {
        if (id > kCompactDatabase && id <= kCompactDatabase + 3 && (flags & DISPATCH_PROPERTYPUT))
            return Put(id, params);
        if (id != kCompactDatabase || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        Record(L"CompactDatabase");
        ++calls_;
        if (!SignedIn()) return Fail(info, 3029, L"Not a valid account name or password.");
        // The two names, or with the locale, the options left out and the password.
        const UINT count = params->cArgs;
        if ((count != 2 && count != 5) || params->cNamedArgs != 0) return DISP_E_BADPARAMCOUNT;
        for (UINT i = 0; i < 2; ++i) {
            if (params->rgvarg[count - 1 - i].vt != VT_BSTR) {
                if (badArgument) *badArgument = i;
                return DISP_E_TYPEMISMATCH;
            }
        }
        if (count == 5 &&
            (params->rgvarg[1].vt != VT_ERROR || params->rgvarg[1].scode != DISP_E_PARAMNOTFOUND)) {
            if (badArgument) *badArgument = 1;
            return DISP_E_TYPEMISMATCH;
        }
        BSTR source = params->rgvarg[count - 1].bstrVal;
        BSTR destination = params->rgvarg[count - 2].bstrVal;
        for (const BSTR path : {source, destination}) {
            if (SysStringLen(path) >= MAX_PATH) {
                return Fail(info, 3044, L"'" + std::wstring(path) + L"' is not a valid path.");
            }
        }
        if (g_keptOpen != INVALID_HANDLE_VALUE) CloseHandle(g_keptOpen);
        g_keptOpen = INVALID_HANDLE_VALUE;
        const std::wstring failure = Environment(L"TOLVANE_ENGINE_FAILURE");
        if (const auto colon = failure.find(L':'); colon != std::wstring::npos) {
            return Fail(info, std::wcstol(failure.c_str(), nullptr, 10), failure.substr(colon + 1));
        }
        // As the real engine, it writes the database's header as it opens it, even when nothing
        // in it changes: its last write time moves on.
        FILE* f = _wfopen(source, L"r+b");
        const int first = f ? fgetc(f) : EOF;
        if (first != EOF && fseek(f, 0, SEEK_SET) == 0) fputc(first, f);
        if (f) fclose(f);
        f = _wfopen(source, L"rb");
        const int version = f && fseek(f, 0x14, SEEK_SET) == 0 ? fgetc(f) : -1;
        if (f) fclose(f);
        if (Jet4 ? version >= 2 : version == 0) {
            if (FILE* begun = _wfopen(destination, L"wb")) fclose(begun);
            return Fail(info, 3343,
                        L"Unrecognized database format '" + std::wstring(source) + L"'.");
        }
        const std::vector<std::uint8_t> header = ReadAll(source);
        const std::string needed = Jet::ReadHeaderSecret(Jet::MemoryPageSource(header)).Password;
        const std::wstring given = count == 5 ? PasswordIn(params->rgvarg[0]) : std::wstring();
        if (!needed.empty() && (given.size() != needed.size() ||  // ASCII passwords only
                                std::string(given.begin(), given.end()) != needed)) {
            return Fail(info, 3031, L"Not a valid password.");
        }
        // Stalled: it begins its copy and never returns, holding the copy open to no one else.
        if (!Environment(L"TOLVANE_ENGINE_STALL").empty()) {
            const HANDLE begun = CreateFileW(destination, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr);
            DWORD written = 0;
            WriteFile(begun, "Standard", 8, &written, nullptr);
            Sleep(INFINITE);
        }
        if (!CopyFileW(source, destination, TRUE) ||
            ((!needed.empty() || count == 5) &&
             !SetPassword(destination, count == 5 ? PasswordIn(params->rgvarg[2]) : L"")) ||
            (!Environment(L"TOLVANE_ENGINE_DROP_ROW").empty() && !DropRow(destination))) {
            return Fail(info, 3004, L"Could not copy the database.");
        }
        if (!Environment(L"TOLVANE_ENGINE_KEEP_OPEN").empty()) {
            g_keptOpen = CreateFileW(source, GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        }
        return S_OK;
    }

  private:
    LONG refs_ = 1;
    int calls_ = 0;
    std::wstring systemDb_, user_, password_, ignored_;
};

template <bool Jet4>
class Factory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* engine = new Engine<Jet4>;
        const HRESULT hr = engine->QueryInterface(iid, out);
        engine->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory<false> g_aceFactory;
Factory<true> g_jet4Factory;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (clsid == kAce) return g_aceFactory.QueryInterface(iid, out);
    if (clsid == kJet4) return g_jet4Factory.QueryInterface(iid, out);
    *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

// The engine it stands in for stays loaded as long as the process; so does this one.
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
