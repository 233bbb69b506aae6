// The engine's compaction in a child process of its own, so that an engine that never returns
// can be stopped without taking the run with it: a child the platform can end with all that it
// started, which hands back its report over a pipe. Nothing of the request passes on a command
// line or in the environment, where other users of the machine could read it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "components/DatabaseEngine.h"
#include "components/Instance.h"

namespace Components {

// The program's own numbers for a compaction whose child did not report.
enum : std::int32_t {
    kEngineStopped = 32101,  // it did not finish in time and was stopped
    kEngineLost = 32102,     // it ended without a report
};

class EngineProcess {
  public:
    virtual ~EngineProcess() = default;

    // Starts a child that serves `request` with ServeRequest and the platform's engine, and
    // gives back the report it wrote. Once `seconds` have passed without its report, stops the
    // child and everything it started, and gives back nothing once they are gone, so that the
    // files they held are free. Raises Err::Error when no child can be started.
    virtual std::optional<std::string> Run(const std::string& request, double seconds) = 0;

    // In a process the platform started as such a child: serves its one request and returns
    // true. Anywhere else false, at once. Raises nothing.
    virtual bool ServeAsChild() = 0;
};

std::unique_ptr<EngineProcess> CreatePlatformInstance(Tag<EngineProcess>);

// The messages between the two: each field as its name, a space, the length of its value in
// bytes and a line break, then the value, so that a value may hold anything and a reader
// passes over the fields it does not know. A field added later breaks neither side.
using Fields = std::map<std::string, std::string>;
std::string EncodeFields(const Fields& fields);
// The whole fields of `message`; a cut-off last one is left out.
Fields DecodeFields(const std::string& message);

// What the child does with a request (source, destination, password, workgroup, user and
// its password): compacts with `engine` and gives
// back the report (number, description, system error, note). Raises nothing.
std::string ServeRequest(DatabaseEngine& engine, const std::string& request);

// From now on every compaction of this process runs in a child and is stopped after `minutes`
// (as the user wrote them: `shown`): its copy is removed, the database is left as it was, and
// kEngineStopped is raised. The check of the held copy and its note stay in this process.
void LimitEngineTime(double minutes, const std::string& shown);

}  // namespace Components
