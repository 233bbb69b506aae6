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

namespace Err {

std::string StandardText(std::int32_t number) {
    switch (number) {
        case 5:
            return "Invalid procedure call or argument";
        case 6:
            return "Overflow";
        case 7:
            return "Out of memory";
        case 9:
            return "Subscript out of range";
        case 13:
            return "Type mismatch";
        case 48:
            return "Error in loading DLL";
        case 52:
            return "Bad file name or number";
        case 53:
            return "File not found";
        case 54:
            return "Bad file mode";
        case 55:
            return "File already open";
        case 57:
            return "Device I/O error";
        case 58:
            return "File already exists";
        case 61:
            return "Disk full";
        case 67:
            return "Too many files";
        case 68:
            return "Device unavailable";
        case 70:
            return "Permission denied";
        case 71:
            return "Disk not ready";
        case 74:
            return "Can't rename with different drive";
        case 75:
            return "Path/File access error";
        case 76:
            return "Path not found";
        case 91:
            return "Object variable or With block variable not set";
        case 429:
            return "ActiveX component can't create object";
        case 438:
            return "Object doesn't support this property or method";
        case 453:
            return "Can't find DLL entry point";
        default:
            return "";
    }
}

}  // namespace Err
