// For the saver the tests run as if started by hand: the system reports no screen saver
// running. Under Wine a process that has set the flag itself reads it back set, so a hand-
// started run cannot be had otherwise. Linked into test programs only; it takes the place of
// shell/SaverRunningFlag.cpp.
#include "shell/SaverServices.h"

bool SystemSaverRunningFlag() { return false; }
