#include "components/CurrentError.h"

#include <new>
#include <stdexcept>

namespace Err {

CurrentErrorRecord& Current() {
    static CurrentErrorRecord record;
    return record;
}

void Clear() {
    Current().Number = 0;
    Current().Description.clear();
}

void Raise(std::int32_t number, std::string description) {
    Current().Number = number;
    Current().Description = description;
    throw Error(number, std::move(description));
}

Error Capture(std::exception_ptr raised) {
    try {
        std::rethrow_exception(raised);
    } catch (const Error& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return Error(kOutOfMemory, "Out of memory");
    } catch (const std::overflow_error& e) {
        return Error(kOverflow, e.what());
    } catch (const std::exception& e) {
        return Error(kInvalidProcedureCall, e.what());
    } catch (...) {
        return Error(kInvalidProcedureCall, "Unknown error");
    }
}

void ResumeNext::Record(const Error& error) {
    Current().Number = error.Number();
    Current().Description = error.Description();
}

}  // namespace Err
