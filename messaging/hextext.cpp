// The hexadecimal text form of a byte string, and the quoted form of a
// location string.
#include "messaging/hextext.h"

void FormatHexPairs(char* destination, const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    char* out = destination;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            *out++ = ' ';
        }
        *out++ = digits[bytes[i] >> 4];
        *out++ = digits[bytes[i] & 0x0F];
    }
    *out = '\0';
}

BoundedText StartText(char* text, size_t size) {
    if (size > 0) {
        text[0] = '\0';
    }
    return BoundedText{text, size, 0};
}

void PutChar(BoundedText& out, char c) {
    if (out.length + 1 < out.size) {
        out.text[out.length++] = c;
        out.text[out.length] = '\0';
    }
}

void PutText(BoundedText& out, const char* s) {
    while (*s != '\0') {
        PutChar(out, *s++);
    }
}

void FormatShownLocation(char* text, size_t size, const uint8_t location[6]) {
    BoundedText out = StartText(text, size);
    size_t end = 6;
    while (end > 0 && location[end - 1] == 0) {
        --end;
    }
    PutChar(out, '"');
    for (size_t i = 0; i < end; ++i) {
        uint8_t c = location[i];
        if (c == '"' || c == '\\') {
            PutChar(out, '\\');
            PutChar(out, static_cast<char>(c));
        } else if (c >= 0x20 && c < 0x7F) {
            PutChar(out, static_cast<char>(c));
        } else {
            char pair[3];
            FormatHexPairs(pair, &c, 1);
            PutText(out, "\\x");
            PutText(out, pair);
        }
    }
    PutChar(out, '"');
}
