// Names that Windows compares without regard to case (device names, registry
// keys and values), as the virtual network compares them: every letter of the
// Western European ANSI code page (1252), as the system upper-cases it.
#pragma once

inline int UpperCase(int c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return c - 0x20; // ASCII, and the accented letters but the division sign
    switch (c) {
    case 0x9A: // s, z with caron, the oe ligature
    case 0x9C:
    case 0x9E:
        return c - 0x10;
    case 0xFF: // y with diaeresis
        return 0x9F;
    default:
        return c;
    }
}

inline bool SameNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int ca = UpperCase(static_cast<unsigned char>(*a));
        int cb = UpperCase(static_cast<unsigned char>(*b));
        if (ca != cb)
            return false;
        if (ca == 0)
            return true;
    }
}
