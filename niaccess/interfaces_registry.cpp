// Reading a string value of the interfaces' registry layout.
#include "niaccess/interfaces_registry.h"
#include <cstring>

RegString ReadRegistryString(PlatKey key, const char* valueName, uint32_t* type, char* buffer,
                             uint32_t capacity) {
    uint32_t size = capacity;
    long result = PlatRegQueryValue(key, valueName, type, buffer, &size);
    if (result == PlatRegMoreData)
        return RegString::TooLong;
    if (result != PlatRegOk || size > capacity)
        return RegString::Absent;
    if (!std::memchr(buffer, '\0', size)) {
        if (size == capacity)
            return RegString::TooLong;
        buffer[size] = '\0';
    }
    return RegString::Read;
}
