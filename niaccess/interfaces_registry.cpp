// Reading a string value of the interfaces' registry layout.
#include "niaccess/interfaces_registry.h"
#include <cstring>

// A 64-bit program runs only on 64-bit Windows; a 32-bit one asks the system.
static bool SystemHasWow64() {
    if (PlatRegOwnView() == PlatKeyView64)
        return true;
    void* isWow64Process = PlatRegKernel32Entry("IsWow64Process");
    bool wow64 = false;
    return isWow64Process && PlatRegCallIsWow64Process(isWow64Process, &wow64) && wow64;
}

RegistryViews InterfaceRegistryViews() {
    if (!SystemHasWow64())
        return RegistryViews{1, {0, 0}};
    uint32_t own = PlatRegOwnView();
    return RegistryViews{2, {own, own == PlatKeyView64 ? PlatKeyView32 : PlatKeyView64}};
}

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
