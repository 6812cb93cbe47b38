// NiOpen and LookupDeviceName over any interface name and any registry
// "device name" data (type, length, terminator), on the in-memory registry and
// the virtual network: nothing read or written past a buffer, a device path
// that starts with \\.\ and fits its 20 bytes, only the table's statuses, and
// a slot that is open exactly when the open succeeded.
#include "fuzz_check.h"
#include "niaccess/niaccess.h"
#include "virtualnet/nocase.h"
#include "virtualnet/vnet.h"
#include "virtualnet/vregistry.h"
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace {

const std::string KeyPrefix = "Software\\Quorvane\\DeviceDrivers\\";
const uint32_t Types[] = {PlatRegSz, PlatRegExpandSz, PlatRegBinary, PlatRegDword};

// The device name's cut at its first full stop after the leading run of
// backslashes and full stops, the index after it, and the path opened.
struct Device {
    std::string path;
    uint16_t index;
};

Device Expected(std::string name) {
    size_t rest = name.find_first_not_of("\\.");
    size_t stop = rest == std::string::npos ? rest : name.find('.', rest);
    uint16_t index = 0;
    if (stop != std::string::npos) {
        for (size_t i = stop + 1; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i)
            index = uint16_t(index * 10 + (name[i] - '0'));
        name.resize(stop);
    }
    return {name.compare(0, 4, "\\\\.\\") == 0 ? name : "\\\\.\\" + name, index};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    VregClear();
    VnetReset();
    VnetFaults* faults = VnetFaultControls();
    faults->olderFamily = in.ConsumeBool();
    faults->failOpen = in.ConsumeIntegralInRange(0, 7) == 0;
    faults->refuseControl[NiCtlOpen] = in.ConsumeIntegralInRange(0, 7) == 0;
    int keyMode = in.ConsumeIntegralInRange(0, 3); // none, no value, value, denied
    uint32_t type = Types[in.ConsumeIntegralInRange(0, 3)];
    std::string value = in.ConsumeRandomLengthString(80);
    int ifaceMode = in.ConsumeIntegralInRange(0, 2); // none, the expected one, any
    uint16_t anyIndex = in.ConsumeIntegral<uint16_t>();
    std::string anyIface = in.ConsumeRandomLengthString(48);
    std::string nameText = UpToZero(in.ConsumeRandomLengthString(64));
    std::vector<char> name(nameText.c_str(), nameText.c_str() + nameText.size() + 1);

    std::string key = KeyPrefix + nameText;
    if (keyMode > 0)
        VregAddKey(key.c_str());
    if (keyMode >= 2)
        VregSetValue(key.c_str(), "device name", type, value.data(), uint32_t(value.size()));
    if (keyMode == 3)
        VregDenyOpen(key.c_str());

    // The lookup into exactly 40 bytes.
    std::vector<char> buffer(NiDeviceNameSize, 'x');
    NiStatus lookup = LookupDeviceName(name.data(), buffer.data(), NiDeviceNameSize);
    CHECK(lookup == NiOk || lookup == NiNameTooLong);
    CHECK(VregOpenKeyCount() == 0);
    if (lookup == NiOk)
        CHECK(std::memchr(buffer.data(), '\0', buffer.size()) != nullptr);
    bool valueTerminated = value.find('\0') != std::string::npos;
    if (keyMode == 0 || keyMode == 3) { // no key to open: the name itself
        CHECK(lookup == (nameText.size() + 1 > 40 ? NiNameTooLong : NiOk));
        if (lookup == NiOk)
            CHECK(nameText == buffer.data());
    } else if (keyMode == 2 && value.size() > 40) {
        CHECK(lookup == NiNameTooLong);
    } else if (keyMode == 2 && valueTerminated && value[0] != '\0') {
        CHECK(lookup == NiOk && UpToZero(value) == buffer.data());
    }

    // An interface on the network: none, the one the name leads to, or any.
    Device device = lookup == NiOk ? Expected(buffer.data()) : Device{"\\\\.\\", 0};
    std::string ifaceName = ifaceMode == 1 ? device.path.substr(4) : UpToZero(anyIface);
    uint16_t ifaceIndex = ifaceMode == 1 ? device.index : anyIndex;
    bool found = ifaceMode != 0 && VnetAddInterface(ifaceName.c_str(), ifaceIndex) >= 0 &&
                 SameNoCase(device.path.c_str() + 4, ifaceName.c_str());

    NiStatus expected = NiOk;
    if (lookup != NiOk || device.path.size() + 1 > size_t(NiDevicePathSize))
        expected = NiNameTooLong;
    else if (faults->failOpen || !found)
        expected = NiOpenFailed;
    else if (faults->olderFamily &&
             (faults->refuseControl[NiCtlOpen] || ifaceIndex != device.index))
        expected = NiDriverFailed;

    NiHandle handle = -7;
    NiStatus status = NiOpen(name.data(), &handle);
    CHECK(status == NiOk || status == NiDriverFailed || status == NiOpenFailed ||
          status == NiNoResource || status == NiNameTooLong);
    CHECK(status == expected);
    CHECK(VregOpenKeyCount() == 0);
    if (status == NiOk) {
        CHECK(handle == 0 && InterfaceTable[0].state == NiSlotOpen);
        const char* path = InterfaceTable[0].devicePath;
        CHECK(std::memchr(path, '\0', NiDevicePathSize) != nullptr);
        CHECK(std::strncmp(path, "\\\\.\\", 4) == 0);
        CHECK(device.path == path && InterfaceTable[0].deviceIndex == device.index);
        CHECK(NiClose(handle) == NiOk);
    } else {
        CHECK(handle == -7);
    }
    for (const InterfaceSlot& slot : InterfaceTable)
        CHECK(slot.state == NiSlotFree);
    return 0;
}
