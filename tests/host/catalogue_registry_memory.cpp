// The catalogue tests' registry in memory, and the driver scripts' copy of the
// interfaces key.
#include "catalogue_registry.h"
#include "niaccess/interfaces_registry.h"
#include "virtualnet/vregistry.h"
#include <fstream>
#include <gtest/gtest.h>

void testreg::Clear() {
    VregClear();
}
void testreg::AddKey(const std::string& path) {
    VregAddKey(path.c_str());
}
void testreg::SetValue(const std::string& path, const char* valueName, uint32_t type,
                       const void* data, uint32_t size) {
    VregSetValue(path.c_str(), valueName, type, data, size);
}
bool testreg::DenyOpen(const std::string& path) {
    VregDenyOpen(path.c_str());
    return true;
}
bool testreg::UseBothViews() {
    VregSetSystem(VregSystem::Wow64Program64);
    return true;
}
int testreg::OpenKeys() {
    return VregOpenKeyCount();
}

// tools/vnic.sh registers the virtual driver's interface for locstr.exe.
TEST(InterfacesKey, TheDriverScriptsRegisterUnderTheProgramsKey) {
    std::ifstream script(LOCSTR_VNIC_SCRIPT);
    ASSERT_TRUE(script) << LOCSTR_VNIC_SCRIPT;
    std::string line, assignment;
    while (std::getline(script, line)) {
        if (line.rfind("VNIC_INTERFACES_KEY=", 0) == 0)
            assignment = line;
    }
    EXPECT_EQ(assignment, std::string("VNIC_INTERFACES_KEY='HKLM\\") + InterfacesKey + "'");
}
