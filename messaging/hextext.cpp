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

void FormatShownLocation(char* text, size_t size, const uint8_t location[6]) {
    if (size == 0) {
        return;
    }
    char shown[ShownLocationSize];
    size_t used = 0;
    size_t end = 6;
    while (end > 0 && location[end - 1] == 0) {
        --end;
    }
    shown[used++] = '"';
    for (size_t i = 0; i < end; ++i) {
        uint8_t c = location[i];
        if (c == '"' || c == '\\') {
            shown[used++] = '\\';
            shown[used++] = static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            shown[used++] = static_cast<char>(c);
        } else {
            shown[used++] = '\\';
            shown[used++] = 'x';
            FormatHexPairs(shown + used, &c, 1);
            used += 2;
        }
    }
    shown[used++] = '"';
    if (used > size - 1) {
        used = size - 1;
    }
    for (size_t i = 0; i < used; ++i) {
        text[i] = shown[i];
    }
    text[used] = '\0';
}
