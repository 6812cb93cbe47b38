// The location change and the capture of a node's ID from its service pin.
#pragma once

// Reads the node's string, writes the new one when it differs, and reports
// the outcome: 1 done (or nothing to do), 0 refused or failed.
int ChangeLocation();
// The dialog's answer to the reader's wake-up: a service pin in the mailbox
// sets the target ID (and, with Auto-execute, starts the change); any other
// message is dropped. With no reader running (the link stopped after the
// wake-up was posted) the mailbox is only emptied.
void OnReaderWakeUp();
