// The plan reader: CSV lines into nodes and their new location strings, every
// fault named with its line, nothing kept from a plan that has one.
#include "batch/plan.h"
#include "messaging/hextext.h"
#include "ui/fields.h"
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#if defined(__GNUC__)
#define PLAN_PRINTF_LIKE(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define PLAN_PRINTF_LIKE(fmt, first)
#endif

namespace {

const size_t FieldKeep = 64;  // bytes of a field kept; a longer field is only counted
const int IdTextLength = 17;  // "05 01 8A 3C 1F 00"
const int IdDigits = 12;      // "05018A3C1F00"
const int HexTextLength = 17; // six pairs with their spaces
const size_t HexPrefixLength = 4;
const int LocationLength = 6;
const char IdForms[] = "an ID is written as 05 01 8A 3C 1F 00 or 05018A3C1F00";

// One CSV field of a line, its quotes taken off.
struct Field {
    char text[FieldKeep + 1]; // the contents, cut at FieldKeep, zero-terminated
    int length;               // the whole contents' length
    bool quoted;
    int oddAt;   // position (from 1) of the first byte outside 20..7E; 0: none
    uint8_t odd; // that byte
};

enum class FieldEnd { Comma, LineEnd, Unterminated, TextAfterQuote, QuoteInside };

struct Reading {
    Plan& plan;
    int line;
    int nodes; // the node lines read so far
    bool headerAllowed;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Upper case for the hexadecimal parsers, which take only 'A'..'F'. A zero
// byte would end their text early: it becomes a byte that no rule accepts,
// so that it fails where it stands.
char ForParser(char c) {
    if (c >= 'a' && c <= 'z') {
        return static_cast<char>(c - 'a' + 'A');
    }
    return c == '\0' ? '\x01' : c;
}

bool IsHexDigit(char c) {
    int errorFlag = 0;
    HexDigitValue(ForParser(c), &errorFlag);
    return errorFlag == 0;
}

// Whether the first `length` bytes of text are word (lower case), in any case.
bool SameNoCase(const char* text, size_t length, const char* word) {
    if (std::strlen(word) != length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != word[i]) {
            return false;
        }
    }
    return true;
}

bool SameWord(const Field& f, const char* word) {
    return SameNoCase(f.text, f.length, word);
}

// "hex:" opens the pairs form only outside quotes: "hex:41" in quotes is text.
bool StartsWithHexPrefix(const Field& f) {
    return !f.quoted && f.length >= static_cast<int>(HexPrefixLength) &&
           SameNoCase(f.text, HexPrefixLength, "hex:");
}

// A byte for a fault text, which stays plain ASCII: 'G', or byte 09.
struct ByteName {
    char text[16];
};

ByteName NameByte(char c) {
    ByteName name;
    auto b = static_cast<uint8_t>(c);
    if (b >= 0x20 && b < 0x7F) {
        std::snprintf(name.text, sizeof name.text, "'%c'", c);
    } else {
        std::snprintf(name.text, sizeof name.text, "byte %02X", b);
    }
    return name;
}

const char* FieldName(int index) {
    static const char* const names[] = {"the ID", "the location", "a field after the location"};
    return names[index < 2 ? index : 2];
}

void AddFault(Reading& r, int line, const char* format, ...) PLAN_PRINTF_LIKE(3, 4);

void AddFault(Reading& r, int line, const char* format, ...) {
    Plan& plan = r.plan;
    if (plan.faultCount < PlanFaultCapacity) {
        PlanFault& fault = plan.faults[plan.faultCount];
        fault.line = line;
        int used = line > 0 ? std::snprintf(fault.text, PlanFaultTextSize, "line %d: ", line)
                            : std::snprintf(fault.text, PlanFaultTextSize, "plan: ");
        va_list args;
        va_start(args, format);
        std::vsnprintf(fault.text + used, PlanFaultTextSize - used, format, args);
        va_end(args);
    }
    ++plan.faultCount;
}

// The bytes of the field's contents that its text holds.
int Kept(const Field& f) {
    const int keep = static_cast<int>(FieldKeep);
    return f.length < 0 ? 0 : f.length < keep ? f.length : keep;
}

void Keep(Field& f, char c) {
    if (f.length < static_cast<int>(FieldKeep)) {
        f.text[f.length] = c;
    }
    if (f.length < INT_MAX) {
        ++f.length;
    }
    auto b = static_cast<uint8_t>(c);
    if (f.oddAt == 0 && (b < 0x20 || b > 0x7E)) {
        f.oddAt = f.length;
        f.odd = b;
    }
}

// Reads the field at p, up to its comma (which is passed) or the line's end.
// Blanks around a field are not part of it; inside quotes they are, and ""
// stands for one quote.
FieldEnd ReadField(const char*& p, const char* end, Field& f) {
    f.length = 0;
    f.quoted = false;
    f.oddAt = 0;
    f.odd = 0;
    while (p < end && IsBlank(*p)) {
        ++p;
    }
    FieldEnd result = FieldEnd::LineEnd;
    if (p < end && *p == '"') {
        f.quoted = true;
        ++p;
        bool closed = false;
        while (p < end && !closed) {
            char c = *p++;
            if (c != '"') {
                Keep(f, c);
            } else if (p < end && *p == '"') {
                Keep(f, *p++); // "" is one quote
            } else {
                closed = true;
            }
        }
        while (p < end && IsBlank(*p)) {
            ++p;
        }
        if (!closed) {
            result = FieldEnd::Unterminated;
        } else if (p < end && *p != ',') {
            result = FieldEnd::TextAfterQuote;
        }
    } else {
        const char* start = p;
        while (p < end && *p != ',') {
            ++p;
        }
        const char* last = p;
        while (last > start && IsBlank(last[-1])) {
            --last;
        }
        for (const char* q = start; q < last; ++q) {
            if (*q == '"') {
                result = FieldEnd::QuoteInside;
            }
            Keep(f, *q);
        }
    }
    if (result == FieldEnd::LineEnd && p < end) {
        ++p; // the comma
        result = FieldEnd::Comma;
    }
    f.text[Kept(f)] = '\0';
    return result;
}

// The ID as 12 digits or in the window's form; either case.
bool ReadId(Reading& r, const Field& f, uint8_t id[6]) {
    if (f.length == 0) {
        AddFault(r, r.line, "the ID is empty; %s", IdForms);
        return false;
    }
    int kept = Kept(f);
    char upper[FieldKeep + 1];
    for (int i = 0; i < kept; ++i) {
        upper[i] = ForParser(f.text[i]);
    }
    upper[kept] = '\0';
    if (std::memchr(f.text, ' ', kept) == nullptr) {
        for (int i = 0; i < kept; ++i) {
            if (!IsHexDigit(f.text[i])) {
                AddFault(r, r.line,
                         "malformed ID: character %d (%s) is not a hexadecimal digit; %s", i + 1,
                         NameByte(f.text[i]).text, IdForms);
                return false;
            }
        }
        if (f.length != IdDigits) {
            AddFault(r, r.line, "malformed ID: %d hexadecimal digits, not 12; %s", f.length,
                     IdForms);
            return false;
        }
        for (int i = 0; i < 6; ++i) {
            int errorFlag = 0;
            id[i] = static_cast<uint8_t>(HexDigitValue(upper[2 * i], &errorFlag) * 16 +
                                         HexDigitValue(upper[2 * i + 1], &errorFlag));
        }
        return true;
    }
    int fail = 0;
    if (ParsePellionIdText(upper, id, &fail) != IdTextResult::Complete) {
        if (fail >= kept) {
            AddFault(r, r.line, "malformed ID: it ends after %d characters, not 17; %s", f.length,
                     IdForms);
        } else {
            AddFault(r, r.line, "malformed ID: character %d (%s) %s; %s", fail + 1,
                     NameByte(f.text[fail]).text,
                     fail % 3 == 2 ? "should be a space" : "is not a hexadecimal digit", IdForms);
        }
        return false;
    }
    if (f.length > IdTextLength) {
        AddFault(r, r.line, "malformed ID: %d characters, not 17; %s", f.length, IdForms);
        return false;
    }
    return true;
}

// "hex:" and the HEX field's form: 1 to 6 pairs 20..7F, single spaces, either case.
bool ReadHexLocation(Reading& r, const Field& f, uint8_t location[6]) {
    int kept = Kept(f);
    int start = static_cast<int>(HexPrefixLength);
    while (start < kept && IsBlank(f.text[start])) {
        ++start;
    }
    const char* pairs = f.text + start;
    int length = f.length - start;
    if (length == 0) {
        AddFault(r, r.line, "the location is empty: hex: with no pairs");
        return false;
    }
    char upper[HexTextLength + 1];
    int copied = kept - start < HexTextLength ? kept - start : HexTextLength;
    for (int i = 0; i < copied; ++i) {
        upper[i] = ForParser(pairs[i]);
    }
    upper[copied] = '\0';
    char ascii[LocationLength + 1];
    int count = 0;
    int fail = 0;
    if (!ParseHexLocationText(upper, ascii, &count, &fail)) {
        if (fail % 3 == 2) {
            AddFault(r, r.line, "the location's hex: pairs: character %d (%s) should be a space",
                     fail + 1, NameByte(pairs[fail]).text);
        } else if (fail % 3 == 0 || !IsHexDigit(pairs[fail])) {
            AddFault(r, r.line,
                     "the location's hex: pairs: character %d (%s) is not a hexadecimal digit",
                     fail + 1, NameByte(pairs[fail]).text);
        } else {
            AddFault(r, r.line, "the location's hex: pairs: pair %d is %c%c, outside 20 to 7F",
                     fail / 3 + 1, upper[fail - 1], upper[fail]);
        }
        return false;
    }
    if (length > HexTextLength) {
        AddFault(r, r.line, "the location's hex: pairs: more than 6");
        return false;
    }
    if (length != 3 * count - 1) {
        AddFault(r, r.line, "the location's hex: pairs: the last pair is incomplete");
        return false;
    }
    std::memcpy(location, ascii, count);
    return true;
}

// The location as text (1 to 6 of 20..7E) or as hex: pairs.
bool ReadLocation(Reading& r, const Field& f, uint8_t location[6]) {
    if (StartsWithHexPrefix(f)) {
        return ReadHexLocation(r, f, location);
    }
    if (f.length == 0) {
        AddFault(r, r.line, "the location is empty");
        return false;
    }
    bool ok = true;
    if (f.oddAt != 0) {
        ok = false;
        char pairs[3 * LocationLength];
        bool hexWouldDo = f.odd == 0x7F && f.length <= LocationLength;
        for (int i = 0; hexWouldDo && i < f.length; ++i) {
            auto b = static_cast<uint8_t>(f.text[i]);
            hexWouldDo = b >= 0x20 && b <= 0x7F;
        }
        if (hexWouldDo) {
            FormatHexPairs(pairs, reinterpret_cast<const uint8_t*>(f.text), f.length);
            AddFault(r, r.line,
                     "character %d of the location is byte 7F, which only hex: pairs can give: "
                     "write the location as hex:%s",
                     f.oddAt, pairs);
        } else {
            AddFault(r, r.line,
                     "character %d of the location (byte %02X) is not printable ASCII; a location "
                     "takes characters 20 to 7E, or hex: pairs 20 to 7F",
                     f.oddAt, f.odd);
        }
    }
    if (f.length > LocationLength) {
        AddFault(r, r.line, "the location has %d characters, at most 6", f.length);
        ok = false;
    }
    if (ok) {
        std::memcpy(location, f.text, f.length);
    }
    return ok;
}

void ReadLine(Reading& r, const char* p, const char* end) {
    const char* first = p;
    while (first < end && IsBlank(*first)) {
        ++first;
    }
    if (first == end || *first == '#') {
        return; // a blank line or a comment
    }
    Field fields[2];
    Field extra;
    int count = 0;
    FieldEnd fieldEnd = FieldEnd::Comma;
    while (fieldEnd == FieldEnd::Comma) {
        fieldEnd = ReadField(p, end, count < 2 ? fields[count] : extra);
        ++count;
    }
    const char* name = FieldName(count - 1);
    switch (fieldEnd) {
    case FieldEnd::Unterminated:
        AddFault(r, r.line, "unterminated quote: %s has no closing quote", name);
        break;
    case FieldEnd::TextAfterQuote:
        AddFault(r, r.line, "text after the closing quote of %s", name);
        break;
    case FieldEnd::QuoteInside:
        AddFault(r, r.line,
                 "a quote inside %s, which is not in quotes: put it in quotes and double "
                 "the quote, as in \"5\"\"A\"",
                 name);
        break;
    default:
        if (count == 1) {
            AddFault(r, r.line, "missing field: a line holds id,location, separated by a comma");
        } else if (count > 2) {
            AddFault(r, r.line, "extra field: %d fields, where a line holds only id,location",
                     count);
        }
        break;
    }
    bool whole = fieldEnd == FieldEnd::LineEnd && count == 2;
    bool header =
        whole && r.headerAllowed && SameWord(fields[0], "id") && SameWord(fields[1], "location");
    r.headerAllowed = false;
    if (!whole || header) {
        return;
    }

    if (++r.nodes == PlanCapacity + 1) {
        AddFault(r, r.line, "too many nodes: a plan holds at most %d", PlanCapacity);
    }
    uint8_t id[6];
    uint8_t location[6] = {};
    bool idRead = ReadId(r, fields[0], id);
    ReadLocation(r, fields[1], location);
    if (!idRead) {
        return;
    }
    Plan& plan = r.plan;
    for (int i = 0; i < plan.entryCount; ++i) {
        if (std::memcmp(plan.entries[i].pellionId, id, sizeof id) == 0) {
            char text[18];
            FormatHexPairs(text, id, sizeof id);
            AddFault(r, r.line, "the same ID %s as on line %d", text, plan.entries[i].line);
            return;
        }
    }
    if (plan.entryCount < PlanCapacity) {
        PlanEntry& entry = plan.entries[plan.entryCount++];
        std::memcpy(entry.pellionId, id, sizeof id);
        std::memcpy(entry.location, location, sizeof location);
        entry.line = r.line;
    }
}

} // namespace

bool ReadPlan(const char* text, size_t length, Plan& plan) {
    plan.entryCount = 0;
    plan.faultCount = 0;
    Reading r{plan, 0, 0, true};
    const char* p = text;
    const char* end = text + length;
    if (length >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        p += 3;
    }
    while (p < end) {
        const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', end - p));
        const char* next = lineEnd != nullptr ? lineEnd + 1 : end;
        if (lineEnd == nullptr) {
            lineEnd = end;
        }
        if (lineEnd > p && lineEnd[-1] == '\r') {
            --lineEnd;
        }
        ++r.line;
        ReadLine(r, p, lineEnd);
        p = next;
    }
    if (r.nodes == 0 && plan.faultCount == 0) {
        AddFault(r, 0, "no nodes: a plan holds a line id,location for each node");
    }
    if (plan.faultCount > 0) {
        plan.entryCount = 0;
    }
    return plan.faultCount == 0;
}
