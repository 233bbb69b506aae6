#include "components/windows/ComSupport.h"

#include <objbase.h>

#include "components/CurrentError.h"
#include "components/windows/WinText.h"

namespace Components::Win {

void EnsureComInitialized() {
    // S_FALSE (already joined) and RPC_E_CHANGED_MODE (another apartment) both leave COM
    // usable on this thread; only a real failure stops the engine from being created.
    static const HRESULT result = CoInitialize(nullptr);
    if (FAILED(result) && result != RPC_E_CHANGED_MODE) {
        Err::Raise(Err::kCannotCreateObject, Err::StandardText(Err::kCannotCreateObject));
    }
}

Bstr::Bstr(const std::string& utf8) {
    const std::wstring wide = Wide(utf8);
    b_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (b_ == nullptr) Err::Raise(Err::kOutOfMemory, Err::StandardText(Err::kOutOfMemory));
}

std::string Bstr::Utf8() const {
    if (b_ == nullptr) return {};
    return Components::Win::Utf8(std::wstring_view(b_, SysStringLen(b_)));
}

}  // namespace Components::Win
