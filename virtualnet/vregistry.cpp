// The in-memory registry behind the registry seam: a tree of keys below HKEY_LOCAL_MACHINE.
#include "virtualnet/vregistry.h"
#include "virtualnet/nocase.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

const long ErrorInvalidHandle = 6;     // ERROR_INVALID_HANDLE
const long ErrorInvalidParameter = 87; // ERROR_INVALID_PARAMETER
const int KeyHandleLimit = 256;
const uintptr_t KeyHandleBase = 0x4B000000;

struct Value {
    std::string name;
    uint32_t type;
    std::vector<uint8_t> data;
};

// Subkeys and values in the order they were created.
struct Key {
    std::string name;
    bool denied = false;
    std::vector<std::unique_ptr<Key>> children;
    std::vector<Value> values;
};

struct KeyHandle {
    bool open;
    uintptr_t token;
    Key* key;
};

struct Registry {
    PlatMutex lock;
    std::unique_ptr<Key> root{new Key};
    KeyHandle handles[KeyHandleLimit] = {};
    uintptr_t openSerial = 0;
    VregSystem system = VregSystem::Single;
};

Registry& Reg() {
    static Registry* registry = new Registry;
    return *registry;
}

char localMachineToken;
char isWow64ProcessToken;

Key* Child(Key* key, const std::string& name) {
    for (auto& child : key->children)
        if (SameNoCase(child->name.c_str(), name.c_str()))
            return child.get();
    return nullptr;
}

// Walks a backslash-separated path; empty parts (doubled or trailing
// backslashes) are passed over. With create, missing keys are added.
Key* Walk(Key* key, const char* path, bool create) {
    const char* at = path ? path : "";
    while (key && *at) {
        const char* end = std::strchr(at, '\\');
        std::string part = end ? std::string(at, end) : std::string(at);
        at = end ? end + 1 : at + part.size();
        if (part.empty())
            continue;
        Key* next = Child(key, part);
        if (!next && create) {
            key->children.emplace_back(new Key);
            next = key->children.back().get();
            next->name = part;
        }
        key = next;
    }
    return key;
}

// The key behind a handle: HKEY_LOCAL_MACHINE or an open key; null when stale.
Key* FromHandle(Registry& r, PlatKey handle) {
    if (handle == &localMachineToken)
        return r.root.get();
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value < KeyHandleBase)
        return nullptr;
    KeyHandle& h = r.handles[(value - KeyHandleBase) % KeyHandleLimit];
    return h.open && h.token == value ? h.key : nullptr;
}

Value* FindValue(Key* key, const char* name) {
    std::string wanted = name ? name : "";
    for (Value& value : key->values)
        if (SameNoCase(value.name.c_str(), wanted.c_str()))
            return &value;
    return nullptr;
}

bool HasWow64(const Registry& r) {
    return r.system == VregSystem::Wow64Program32 || r.system == VregSystem::Wow64Program64;
}

// An open from HKEY_LOCAL_MACHINE in the 32-bit view of a WOW64 system: the
// path with "Wow6432Node" after a leading "SOFTWARE" (the only key redirected
// here). Both view flags at once give the 32-bit view, as under Wine 8.
std::string ViewPath(const Registry& r, const char* path, uint32_t access) {
    std::string full = path ? path : "";
    bool view32 = (access & PlatKeyView32) ||
                  (!(access & PlatKeyView64) && r.system == VregSystem::Wow64Program32);
    if (!HasWow64(r) || !view32)
        return full;
    size_t start = full.find_first_not_of('\\');
    if (start == std::string::npos)
        return full;
    size_t end = full.find('\\', start);
    std::string first = full.substr(start, end == std::string::npos ? end : end - start);
    if (!SameNoCase(first.c_str(), "SOFTWARE"))
        return full;
    return full.insert(start + first.size(), "\\Wow6432Node");
}

} // namespace

void VregSetSystem(VregSystem system) {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    r.system = system;
}

void VregClear() {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    r.system = VregSystem::Single;
    r.root.reset(new Key);
    for (KeyHandle& h : r.handles)
        h = KeyHandle{};
}

void VregAddKey(const char* path) {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    Walk(r.root.get(), path, true);
}

void VregSetValue(const char* path, const char* valueName, uint32_t type, const void* data,
                  uint32_t size) {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    Key* key = Walk(r.root.get(), path, true);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> content(bytes, bytes + (data ? size : 0));
    if (Value* existing = FindValue(key, valueName)) {
        existing->type = type;
        existing->data = content;
        return;
    }
    key->values.push_back(Value{valueName ? valueName : "", type, content});
}

void VregSetString(const char* path, const char* valueName, const char* text) {
    VregSetValue(path, valueName, PlatRegSz, text, static_cast<uint32_t>(std::strlen(text) + 1));
}

void VregDenyOpen(const char* path) {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    Walk(r.root.get(), path, true)->denied = true;
}

int VregOpenKeyCount() {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    int count = 0;
    for (const KeyHandle& h : r.handles)
        count += h.open ? 1 : 0;
    return count;
}

PlatKey PlatLocalMachine() {
    return &localMachineToken;
}

long PlatRegOpenKey(PlatKey parent, const char* path, uint32_t access, PlatKey* key) {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    Key* from = FromHandle(r, parent);
    if (!from)
        return ErrorInvalidHandle;
    if (!key)
        return ErrorInvalidParameter;
    // A view flag on Windows 2000 is an access right it does not know: refused.
    if (r.system == VregSystem::Single && (access & (PlatKeyView64 | PlatKeyView32)))
        return PlatRegAccessDenied;
    std::string viewPath = from == r.root.get() ? ViewPath(r, path, access) : path ? path : "";
    Key* found = Walk(from, viewPath.c_str(), false);
    if (!found)
        return PlatRegNotFound;
    if (found->denied)
        return PlatRegAccessDenied;
    for (int slot = 0; slot < KeyHandleLimit; ++slot) {
        KeyHandle& h = r.handles[slot];
        if (h.open)
            continue;
        h.open = true;
        h.token = KeyHandleBase + (++r.openSerial) * KeyHandleLimit + uintptr_t(slot);
        h.key = found;
        *key = reinterpret_cast<PlatKey>(h.token);
        return PlatRegOk;
    }
    return PlatRegAccessDenied; // out of handles: the system would refuse too
}

long PlatRegEnumKey(PlatKey handle, uint32_t index, char* name, uint32_t size) {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    Key* key = FromHandle(r, handle);
    if (!key)
        return ErrorInvalidHandle;
    if (index >= key->children.size())
        return PlatRegNoMoreItems;
    const std::string& childName = key->children[index]->name;
    if (!name || childName.size() + 1 > size)
        return PlatRegMoreData;
    std::memcpy(name, childName.c_str(), childName.size() + 1);
    return PlatRegOk;
}

long PlatRegQueryValue(PlatKey handle, const char* valueName, uint32_t* type, void* data,
                       uint32_t* size) {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    Key* key = FromHandle(r, handle);
    if (!key)
        return ErrorInvalidHandle;
    if (data && !size)
        return ErrorInvalidParameter;
    Value* value = FindValue(key, valueName);
    if (!value)
        return PlatRegNotFound;
    if (type)
        *type = value->type;
    uint32_t needed = static_cast<uint32_t>(value->data.size());
    if (data && *size < needed) {
        *size = needed;
        return PlatRegMoreData;
    }
    if (data && needed)
        std::memcpy(data, value->data.data(), needed);
    if (size)
        *size = needed;
    return PlatRegOk;
}

void PlatRegCloseKey(PlatKey handle) {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (handle == &localMachineToken || value < KeyHandleBase)
        return;
    KeyHandle& h = r.handles[(value - KeyHandleBase) % KeyHandleLimit];
    if (h.open && h.token == value)
        h = KeyHandle{};
}

uint32_t PlatRegOwnView() {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    return r.system == VregSystem::Wow64Program64 ? PlatKeyView64 : PlatKeyView32;
}

void* PlatRegKernel32Entry(const char* name) {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    if (!name || std::strcmp(name, "IsWow64Process") != 0 || r.system == VregSystem::Single)
        return nullptr;
    return &isWow64ProcessToken;
}

void PlatRegUpperCaseName(char* name, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i)
        name[i] = static_cast<char>(UpperCase(static_cast<unsigned char>(name[i])));
}

bool PlatRegCallIsWow64Process(void* isWow64Process, bool* wow64) {
    Registry& r = Reg();
    std::lock_guard<PlatMutex> guard(r.lock);
    if (isWow64Process != &isWow64ProcessToken)
        return false;
    *wow64 = r.system == VregSystem::Wow64Program32; // a 64-bit program is not emulated
    return true;
}
