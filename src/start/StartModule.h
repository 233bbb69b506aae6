// The whole run of the program: choose a database, check it, confirm, compact it.
#pragma once

namespace StartModule {

// One pass of dialogs and work; the process ends when it returns. An error it does not
// handle leaves it before any database has been touched.
void Main();

}  // namespace StartModule
