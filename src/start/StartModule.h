// The whole run of the program: choose a database (or take the one the command line names),
// check it, confirm, compact it; or compact the databases the command line names unattended.
#pragma once

namespace StartModule {

// One pass of dialogs and work, or of unattended work; the process ends when it returns, with
// the status it returns (always 0 for a run with questions). An error it does not handle
// leaves it before any database has been touched.
int Main();

// The program itself: keeps the arguments, runs Main, and turns an error that leaves it into a
// logged and told failure with status 3, never a box under /compact.
int Run(int argc, char** argv);

}  // namespace StartModule
