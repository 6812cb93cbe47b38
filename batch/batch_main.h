// The batch tool from its command line to its exit code, above its seams.
#pragma once

const int ExitAsPlanned = 0;    // every node ended as planned
const int ExitNotAsPlanned = 1; // some node failed or differs, or was not run
const int ExitUsage = 2;        // a bad plan or command line: nothing was sent
const int ExitNoInterface = 3;  // the interface cannot be opened

int BatchMain(int argc, const char* const* argv);
