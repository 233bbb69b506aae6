// How a failed automation call becomes the program's error number and description.
#pragma once

#include "components/windows/Win32.h"

#include <oleauto.h>

#include <cstdint>
#include <string>

namespace Components::Win {

struct MappedError {
    std::int32_t Number;
    std::string Description;
};

// For an exception the object raised: its wCode when set, else the low word of an scode
// in FACILITY_CONTROL, else the scode itself; its description, or the standard text when it
// gave none. Fills the record in first when the object deferred that. Frees the record's
// texts. Without a record, the failing HRESULT itself is mapped.
MappedError MapInvokeFailure(HRESULT hr, EXCEPINFO* exception);

[[noreturn]] void RaiseInvokeFailure(HRESULT hr, EXCEPINFO* exception);

}  // namespace Components::Win
