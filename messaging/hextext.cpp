// The hexadecimal text form of a byte string: "41 42 ..." in upper case.
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
