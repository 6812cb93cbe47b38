// The location change and the capture of a node's ID from its service pin.
#pragma once

int ChangeLocation();
int WriteLocation();
// Takes a service pin message out of the mailbox (true), or leaves whatever
// else the mailbox holds where it is (false).
bool OnServicePin();
// The dialog's answer to the reader's wake-up: a full mailbox goes to
// OnServicePin, and a message that is not a service pin is dropped. With no
// reader running (the link stopped after the wake-up was posted) the mailbox
// is only emptied.
void OnReaderWakeUp();
