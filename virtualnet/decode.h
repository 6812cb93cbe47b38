// Names the messages on the virtual network's wire for people reading its
// traffic log: which request or answer a message is, and what it carries.
#pragma once
#include <cstddef>
#include <cstdint>

const size_t VnetDescriptionSize = 80; // enough for every name, with its ID and string

// Writes the name of the message in bytes[0..length) to text (at most size
// bytes with the terminating zero): "Read Memory <ID>", "answer: "<string>"",
// "Write Memory <ID> "<string>"", "write done", "service pin <ID>", ... and
// "unknown" for anything else, a cut-off message among them.
void VnetDescribeMessage(const uint8_t* bytes, size_t length, char* text, size_t size);
