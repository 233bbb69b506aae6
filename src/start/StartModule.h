// The whole run of the program: choose a database (or take the one the command line names),
// check it, confirm, compact it; or compact the databases the command line names unattended.
#pragma once

namespace StartModule {

// One pass of dialogs and work, or of unattended work; the process ends when it returns, with
// the status it returns (always 0 for a run with questions). An error it does not handle
// leaves it before any database has been touched.
int Main();

}  // namespace StartModule
