// A layer in front of the system-call table that counts every call and can make one of
// them, the Nth, fail with a chosen errno or end the process as a crash would.
#pragma once

namespace FaultInjection {

// Puts the layer in front of whatever the table holds now. With `failAt` 0 nothing fails;
// with `error` 0 the process kills itself (SIGKILL) at call `failAt` instead of failing it.
// With `fromThenOn` every later call fails too, as on a disk that has died.
void Install(long failAt, int error, bool fromThenOn = false);

// The calls made through the table since Install, and whether the fault was reached.
long Calls();
bool Fired();

}  // namespace FaultInjection
