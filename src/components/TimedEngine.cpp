// The engine with a time limit: its compaction in a child process, stopped once the limit has
// passed. Everything after the copy (the hold, the proof, the access rules, the renames) stays
// with the run, which alone may touch the database.
#include <utility>

#include "components/CurrentError.h"
#include "components/EngineProcess.h"
#include "components/FileSystem.h"

namespace Components {

namespace {

class TimedDatabaseEngine final : public DatabaseEngine {
  public:
    TimedDatabaseEngine(std::unique_ptr<DatabaseEngine> inner, double minutes, std::string shown)
        : inner_(std::move(inner)), seconds_(minutes * 60), shown_(std::move(shown)) {}

    // The passwords and the account go over the pipe alone, never on the child's command line.
    void CompactDatabase(std::string source, std::string destination, const std::string& password,
                         const Account& account) override {
        note_.clear();
        std::string request = EncodeFields({{"source", source},
                                            {"destination", destination},
                                            {"password", password},
                                            {"workgroup", account.Workgroup},
                                            {"user", account.User},
                                            {"userpassword", account.Password}});
        const std::optional<std::string> report = The<EngineProcess>().Run(request, seconds_);
        for (char& c : request) *static_cast<volatile char*>(&c) = '\0';
        Fields fields = report ? DecodeFields(*report) : Fields{};
        if (!report || !fields.contains("number")) {
            RaiseWithoutCopy(destination, report ? kEngineLost : kEngineStopped,
                             report ? "The database engine's process ended without a report; "
                                      "the database is as it was"
                                    : "The database engine did not finish within " + shown_ +
                                          " minutes and was stopped; the database is as it was");
        }
        note_ = fields["note"];
        const std::int32_t number = std::stoi(fields["number"]);
        if (number == 0) return;
        Err::Current().LastDllError = std::stoll("0" + fields["system"]);
        Err::Raise(number, fields["description"]);
    }

    void ProveHeldCopy(std::string source, std::string destination) override {
        inner_->ProveHeldCopy(source, destination);
    }

    std::string Note() const override { return note_.empty() ? inner_->Note() : note_; }

  private:
    // The stopped engine's copy is unfinished: it goes, and where it cannot, the report says
    // where it is.
    [[noreturn]] static void RaiseWithoutCopy(const std::string& destination, std::int32_t number,
                                              const std::string& description) {
        Err::ResumeNext resume;
        std::string left;
        if (!resume.Step([&] { The<FileSystem>().Kill(destination); }) &&
            Err::Current().Number != Err::kFileNotFound) {
            left = " Its unfinished copy '" + destination +
                   "' could not be removed: " + Err::Current().Description + ".";
        }
        Err::Raise(number, description + "." + left);
    }

    std::unique_ptr<DatabaseEngine> inner_;
    double seconds_;
    std::string shown_, note_;
};

}  // namespace

void LimitEngineTime(double minutes, const std::string& shown) {
    Instance<DatabaseEngine>::Install(std::make_unique<TimedDatabaseEngine>(
        CreatePlatformInstance(Tag<DatabaseEngine>{}), minutes, shown));
}

}  // namespace Components
