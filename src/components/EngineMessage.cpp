// The request and the report that pass between a run and the child that does its engine's work.
#include <exception>

#include "components/CurrentError.h"
#include "components/EngineProcess.h"

namespace Components {

std::string EncodeFields(const Fields& fields) {
    std::string message;
    for (const auto& [name, value] : fields) {
        message += name + " " + std::to_string(value.size()) + "\n" + value;
    }
    return message;
}

Fields DecodeFields(const std::string& message) {
    Fields fields;
    std::size_t at = 0;
    while (at < message.size()) {
        const std::size_t space = message.find(' ', at), end = message.find('\n', at);
        if (space == std::string::npos || end == std::string::npos || space > end) break;
        const std::string length = message.substr(space + 1, end - space - 1);
        if (length.empty() || length.size() > 12 ||
            length.find_first_not_of("0123456789") != std::string::npos) {
            break;
        }
        const std::size_t size = std::stoull(length);
        if (size > message.size() - end - 1) break;
        fields[message.substr(at, space - at)] = message.substr(end + 1, size);
        at = end + 1 + size;
    }
    return fields;
}

std::string ServeRequest(DatabaseEngine& engine, const std::string& request) {
    Fields report;
    try {
        Fields asked = DecodeFields(request);
        Err::Current() = {};
        engine.CompactDatabase(asked["source"], asked["destination"], asked["password"],
                               {asked["workgroup"], asked["user"], asked["userpassword"]});
        report["number"] = "0";
        report["note"] = engine.Note();
    } catch (...) {
        const Err::Error error = Err::Capture(std::current_exception());
        report["number"] = std::to_string(error.Number());
        report["description"] = error.Description();
        report["system"] = std::to_string(Err::Current().LastDllError);
    }
    return EncodeFields(report);
}

}  // namespace Components
