// Tests of the virtual network and the in-memory registry through the seams.
#include "platform/device.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include "virtualnet/vnet.h"
#include "virtualnet/vregistry.h"
#include <gtest/gtest.h>

TEST(Vnet, Smoke)
{
    VnetReset();
    ASSERT_EQ(0, VnetAddInterface("VNI1", 0));
    PlatHandle h = PlatOpenDevice("\\\\.\\vni1", false);
    ASSERT_NE(PlatInvalidHandle(), h);
    PlatCloseDevice(h);
}
