// The link to an interface as its users see it (the window, and any other
// front end): the arrival event kept for the whole run, and two calls that
// open an interface with everything it needs and close it again.
#pragma once

// Makes the arrival event: auto-reset, not signalled, named `name` (the
// programs pass "NiTestEvent"; null makes it unnamed). Once, at start; false
// when it cannot be had (no link then starts).
bool CreateLinkEvent(const char* name);
// At exit: closes the link if one is open, then the arrival event.
void CloseLinkEvent();

enum class LinkOpened {
    NotOpened,     // the interface could not be opened; nothing is open
    WithoutReader, // open, but the start-up exchange failed or the reader did
                   // not start (then the message area says so); it stays open
    Running,       // open, the start-up exchange done and the reader running
};

enum class LinkUse {
    ReadWrite,
    ReadOnly, // of the requests to nodes only Read Memory goes out: nothing can change a node
};

// Opens the interface by its device name (or a key name of the interfaces
// key), attaches the arrival event, runs the start-up exchange and starts the
// reader. An interface that is still open is closed first.
LinkOpened OpenLink(const char* deviceName, LinkUse use = LinkUse::ReadWrite);
// Stops the reader (waiting for it at most 3000 ms), closes the interface and
// empties the message area. With no interface open it does nothing at all.
void CloseLink();
