// The interface catalogue over any registry layout: subkey names of any
// length, "device name" values of any type, length and terminator, subkeys
// that cannot be opened. Checked against a small model of the catalogue's
// rules computed from the same layout.
#include "fuzz_check.h"
#include "niaccess/catalogue.h"
#include "platform/registry.h"
#include "virtualnet/nocase.h"
#include "virtualnet/vregistry.h"
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace {

const std::string Interfaces = "SOFTWARE\\Quorvane\\DeviceDrivers";
const uint32_t Types[] = {PlatRegSz, PlatRegSz, PlatRegExpandSz, PlatRegBinary, PlatRegDword};

struct Subkey {
    std::string name;
    bool hasValue = false;
    uint32_t type = 0;
    std::string data;
    bool denied = false;
};

struct Entry {
    std::string name;
    std::string device;
};

// The rules: a name that does not fit 64 bytes or a subkey that cannot be
// opened ends the list; a value that is missing, not REG_SZ or longer than
// 64 bytes (or 64 bytes without a terminator) is passed over; 10 at most.
std::vector<Entry> Model(const std::vector<Subkey>& subkeys) {
    std::vector<Entry> entries;
    for (const Subkey& k : subkeys) {
        if (k.name.size() > 63 || k.denied)
            break;
        bool terminated = k.data.find('\0') != std::string::npos;
        if (k.hasValue && k.type == PlatRegSz && k.data.size() <= 64 &&
            (terminated || k.data.size() < 64))
            entries.push_back({k.name, UpToZero(k.data)});
        if (entries.size() == size_t(CatalogueSize))
            break;
    }
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    VregClear();
    int keyMode = in.ConsumeIntegralInRange(0, 7); // 0 missing, 1 denied, else there
    if (keyMode > 0)
        VregAddKey(Interfaces.c_str());
    if (keyMode == 1)
        VregDenyOpen(Interfaces.c_str());
    std::vector<Subkey> subkeys; // in the registry's order of creation
    int count = keyMode == 0 ? 0 : in.ConsumeIntegralInRange(0, 14); // a subkey makes the key
    for (int i = 0; i < count && in.remaining_bytes() > 0; ++i) {
        Subkey k;
        k.name = in.ConsumeRandomLengthString(72);
        for (char& c : k.name) // one key per name: no path separators, no zeros
            if (c == '\\' || c == '\0')
                c = '_';
        if (k.name.empty())
            k.name = "k";
        k.hasValue = in.ConsumeIntegralInRange(0, 5) != 0;
        k.type = Types[in.ConsumeIntegralInRange(0, 4)];
        k.data = in.ConsumeRandomLengthString(70);
        if (in.ConsumeBool())
            k.data.push_back('\0');
        k.denied = in.ConsumeIntegralInRange(0, 15) == 0;
        std::string path = Interfaces + "\\" + k.name;
        VregAddKey(path.c_str());
        if (k.hasValue)
            VregSetValue(path.c_str(), "device name", k.type, k.data.data(),
                         uint32_t(k.data.size()));
        if (in.ConsumeBool())
            VregSetString(path.c_str(), "other", "NIC9");
        if (k.denied)
            VregDenyOpen(path.c_str());
        // A name that equals an earlier one but for case is that same key.
        Subkey* same = nullptr;
        for (Subkey& earlier : subkeys)
            if (SameNoCase(earlier.name.c_str(), k.name.c_str()))
                same = &earlier;
        if (!same) {
            subkeys.push_back(k);
            continue;
        }
        same->denied = same->denied || k.denied;
        if (k.hasValue) {
            same->hasValue = true;
            same->type = k.type;
            same->data = k.data;
        }
    }

    std::memset(InterfaceCatalogue, 0xFF, sizeof InterfaceCatalogue);
    CatalogueFound found = ReadInterfaceCatalogue();
    int listed = found.count;
    bool keyOpened = found.outcome != CatalogueOutcome::NothingConfigured;
    CHECK(VregOpenKeyCount() == 0);
    CHECK(keyOpened == (keyMode > 1));
    std::vector<Entry> expected = keyOpened ? Model(subkeys) : std::vector<Entry>();
    CHECK(listed >= 0 && listed <= CatalogueSize && size_t(listed) == expected.size());
    CHECK(found.outcome == (!keyOpened   ? CatalogueOutcome::NothingConfigured
                            : listed > 0 ? CatalogueOutcome::Listed
                                         : CatalogueOutcome::NothingListed));
    for (int i = 0; i < listed; ++i) {
        const InterfaceEntry& e = InterfaceCatalogue[i];
        CHECK(std::memchr(e.name, '\0', sizeof e.name) != nullptr);
        CHECK(std::memchr(e.deviceName, '\0', sizeof e.deviceName) != nullptr);
        CHECK(expected[size_t(i)].name == e.name && expected[size_t(i)].device == e.deviceName);
    }
    return 0;
}
