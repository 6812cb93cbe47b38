// Location strings as the batch tool shows and records them.
#include "batch/text_forms.h"
#include "messaging/hextext.h"

namespace {

bool IsPrintable(uint8_t c) {
    return c >= 0x20 && c < 0x7F;
}

// The number of bytes before the zero bytes that pad a location.
size_t SignificantBytes(const uint8_t* location) {
    size_t end = LocationBytes;
    while (end > 0 && location[end - 1] == 0) {
        --end;
    }
    return end;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithHexPrefix(const char* field, size_t length) {
    static const char prefix[] = "hex:";
    if (length < 4) {
        return false;
    }
    for (size_t i = 0; i < 4; ++i) {
        if (Lower(field[i]) != prefix[i]) {
            return false;
        }
    }
    return true;
}

bool NeedsQuotes(const char* field, size_t length) {
    if (length == 0) {
        return false;
    }
    if (IsBlank(field[0]) || IsBlank(field[length - 1]) || StartsWithHexPrefix(field, length)) {
        return true;
    }
    for (size_t i = 0; i < length; ++i) {
        if (field[i] == ',' || field[i] == '"' || field[i] == '\r' || field[i] == '\n') {
            return true;
        }
    }
    return false;
}

} // namespace

void PutCsvField(BoundedText& out, const char* field, size_t length) {
    bool quoted = NeedsQuotes(field, length);
    if (quoted) {
        PutChar(out, '"');
    }
    for (size_t i = 0; i < length; ++i) {
        if (field[i] == '"') {
            PutChar(out, '"');
        }
        PutChar(out, field[i]);
    }
    if (quoted) {
        PutChar(out, '"');
    }
}

void PutShownLocation(BoundedText& out, const uint8_t location[LocationBytes]) {
    char shown[ShownLocationSize];
    FormatShownLocation(shown, sizeof shown, location);
    PutText(out, shown);
}

void PutPlanLocation(BoundedText& out, const uint8_t location[LocationBytes]) {
    size_t end = SignificantBytes(location);
    char text[LocationBytes] = {};
    bool printable = true;
    for (size_t i = 0; i < end; ++i) {
        printable = printable && IsPrintable(location[i]);
        text[i] = static_cast<char>(location[i]);
    }
    if (printable) {
        PutCsvField(out, text, end);
        return;
    }
    char pairs[3 * LocationBytes];
    FormatHexPairs(pairs, location, end);
    PutText(out, "hex:");
    PutText(out, pairs);
}
