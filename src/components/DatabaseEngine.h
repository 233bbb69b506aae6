// The database engine's compaction, as the engine's automation object offers it.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <string>

namespace Components {

// The account the engine signs in with, from a workgroup information file; none when Workgroup
// is empty, and the engine's own default account is used, as for every database without one.
struct Account {
    std::string Workgroup;  // full path of the workgroup information file
    std::string User;
    std::string Password;  // UTF-8; often empty, as a new account's is
};

class DatabaseEngine {
  public:
    virtual ~DatabaseEngine() = default;

    // Writes a compacted and repaired copy of the database `source` to the new file
    // `destination`, with the engine's default locale and options, and returns once the
    // copy is complete on disk. `password` (empty: none) opens a database that has one, and the
    // copy carries the same; a wrong or missing one raises 3031 before anything is written.
    // With an `account`, the engine is told its workgroup file first, before any other call,
    // then its user and password; a missing or held workgroup file raises 3028, a wrong user or
    // password 3029, an account without the right to the database 3033, all before anything is
    // written. No password is ever part of a description. Never replaces an existing destination
    // and never changes the source. Raises Err::Error with the engine's error number and
    // description on any failure; creating the engine object may raise 429. A copy that proves to
    // lack rows or tables of the source, where the proof comes with the copy, raises 3056 with a
    // description that names it, and is left under `destination` for the user to inspect.
    virtual void CompactDatabase(std::string source, std::string destination,
                                 const std::string& password, const Account& account) = 0;

    // Called once the caller holds `source` against writers, before the copy may take its
    // place: proves a copy the engine made without looking (3056 as above, the copy left) and
    // makes it durable (a failure removes it, and its description says so). A copy that would
    // let in someone its source shuts out (Jet::SecretLost) is removed, raising 3056. Nothing where
    // CompactDatabase proved and made durable the copy as it wrote it.
    virtual void ProveHeldCopy(std::string source, std::string destination) {
        (void)source, (void)destination;
    }

    // A line for the log about the last compaction that succeeded but was not proven (a
    // database whose structure could not be checked), or empty.
    virtual std::string Note() const { return {}; }
};

std::unique_ptr<DatabaseEngine> CreatePlatformInstance(Tag<DatabaseEngine>);

}  // namespace Components
