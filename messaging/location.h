// The location change and the capture of a node's ID from its service pin,
// and one node's read-compare-write for a caller without the window.
#pragma once
#include <cstdint>

// Reads the node's string, writes the new one when it differs, and reports
// the outcome: 1 done (or nothing to do), 0 refused or failed.
int ChangeLocation();
// The dialog's answer to the reader's wake-up: a service pin in the mailbox
// sets the target ID (and, with Auto-execute, starts the change); any other
// message is dropped. With no reader running (the link stopped after the
// wake-up was posted) the mailbox is only emptied.
void OnReaderWakeUp();

enum class NodeResult {
    Changed, // the node held another string and took the new one
    Already, // the node held that string already: nothing written
    Differs, // a check found another string: nothing written
    Failed,
};

enum class NodeFailure {
    None,
    SendFailed,      // the driver did not take the request
    NoAnswer,        // nothing answered it within the limit
    NotAcknowledged, // the interface reports a failed transaction (its retries ran out)
    WriteRefused,    // the node answered Write Memory with its failure code
};

struct NodeExchange {
    NodeResult result;
    NodeFailure failure; // Failed only: why, and in which phase (below)
    int beforeKnown;     // 0 when the string could not be read
    uint8_t before[6];
    int afterKnown; // 0 when it is not known what the node holds now
    uint8_t after[6];
};

// One node's exchange on the running link, with the window's requests and
// limits and without its output, for the transmit-timer index of the
// operator's entries. A message in the mailbox when it begins came before its
// request and is dropped, so it cannot pass for the answer. The strings
// compare as the window compares them: as zero-terminated strings of at most
// six bytes.
// CheckNode reads the node's string and compares it: Already, Differs or
// Failed. It sends nothing that can change a node.
NodeExchange CheckNode(const uint8_t id[6], const uint8_t location[6]);
// ChangeNode does the same and writes `location` when the string differs:
// Changed, Already or Failed.
NodeExchange ChangeNode(const uint8_t id[6], const uint8_t location[6]);
