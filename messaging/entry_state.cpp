// The operator's entries: Auto-execute off and the default transmit timer.
#include "messaging/entry_state.h"

EntryState entryState = {{0, 0, 0, 0, 0, 0}, {0}, DefaultTxTimerIndex, 0};
