#include "components/windows/EngineErrors.h"

#include "components/CurrentError.h"
#include "components/windows/ComSupport.h"

namespace Components::Win {

namespace {

// The numbers a scripting client gives the dispatch failures it can meet here.
std::int32_t NumberForHresult(HRESULT hr) {
    switch (hr) {
        case DISP_E_MEMBERNOTFOUND:
        case DISP_E_UNKNOWNNAME:
            return 438;
        case DISP_E_TYPEMISMATCH:
            return 13;
        case DISP_E_BADPARAMCOUNT:
        case DISP_E_PARAMNOTOPTIONAL:
            return 450;
        case DISP_E_OVERFLOW:
            return Err::kOverflow;
        case E_OUTOFMEMORY:
            return Err::kOutOfMemory;
        case E_INVALIDARG:
            return Err::kInvalidProcedureCall;
        default:
            if (HRESULT_FACILITY(hr) == FACILITY_CONTROL) return HRESULT_CODE(hr);
            return static_cast<std::int32_t>(hr);
    }
}

}  // namespace

MappedError MapInvokeFailure(HRESULT hr, EXCEPINFO* exception) {
    if (exception == nullptr) {
        const std::int32_t number = NumberForHresult(hr);
        std::string text = Err::StandardText(number);
        if (text.empty()) text = "Automation error";
        return {number, text};
    }
    if (exception->pfnDeferredFillIn != nullptr) exception->pfnDeferredFillIn(exception);
    const Bstr source = Bstr(exception->bstrSource);
    const Bstr description = Bstr(exception->bstrDescription);
    const Bstr helpFile = Bstr(exception->bstrHelpFile);
    exception->bstrSource = exception->bstrDescription = exception->bstrHelpFile = nullptr;

    std::int32_t number;
    if (exception->wCode != 0) {
        number = exception->wCode;
    } else if (HRESULT_FACILITY(exception->scode) == FACILITY_CONTROL) {
        number = HRESULT_CODE(exception->scode);
    } else {
        number = static_cast<std::int32_t>(exception->scode);
    }
    // An exception that names no error is still a failure; it must not read as success.
    if (number == 0) number = static_cast<std::int32_t>(hr);
    std::string text = description.Utf8();
    if (text.empty()) text = Err::StandardText(number);
    return {number, text};
}

void RaiseInvokeFailure(HRESULT hr, EXCEPINFO* exception) {
    MappedError mapped = MapInvokeFailure(hr, exception);
    Err::Raise(mapped.Number, std::move(mapped.Description));
}

}  // namespace Components::Win
