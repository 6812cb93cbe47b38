// The texts in which the batch tool shows and records location strings: the
// quoted form of its progress lines, the plan's own CSV form in which its
// record's columns are written (so that they read back as a plan), and the
// CSV quoting under both.
#pragma once
#include "messaging/hextext.h"
#include <cstddef>
#include <cstdint>

const size_t LocationBytes = 6;
// The longest plan form: "hex:" and six pairs with their spaces, the zero.
const size_t PlanLocationSize = 4 + 3 * LocationBytes;

// A CSV field: as it is, or in quotes with its quotes doubled when it holds
// a comma, a quote or a line end, starts or ends with a space or a tab, or
// starts with "hex:" (in any case), which a plan would read as hex: pairs.
void PutCsvField(BoundedText& out, const char* field, size_t length);

// "HALL 1": the traffic lists' form (FormatShownLocation in messaging/hextext.h).
void PutShownLocation(BoundedText& out, const uint8_t location[LocationBytes]);

// The plan's form: the text as a CSV field when every byte before the padding
// is printable ASCII, otherwise "hex:" and the pairs of those bytes (which the
// plan reader refuses when one lies outside 20..7F, as a node may hold such
// bytes but a plan cannot set them). Six zero bytes give the empty field.
void PutPlanLocation(BoundedText& out, const uint8_t location[LocationBytes]);
