// The demo programs' network and its interface's registration.
#include "virtualnet/demo_network.h"
#include "niaccess/interfaces_registry.h"
#include "virtualnet/vnet.h"
#include "virtualnet/vregistry.h"
#include <string>

const char DemoInterfaceName[] = "Virtual network";

void InstallDemoNetwork() {
    VnetInstallDemo();
    const std::string key = std::string(InterfacesKey) + "\\" + DemoInterfaceName;
    VregAddKey(key.c_str());
    VregSetString(key.c_str(), DeviceNameValue, "VNI1");
}
