// locstr-batch-demo.exe: the tool on the virtual network of locstr-demo.exe.
#include "batch/demo.h"
#include "batch/console.h"
#include "batch/text_forms.h"
#include "messaging/hextext.h"
#include "virtualnet/demo_network.h"
#include "virtualnet/vnet.h"
#include <cstdint>

bool BatchIsDemo() {
    return true;
}

void BatchDemoStartUp() {
    InstallDemoNetwork();
}

void ShowDemoNodes() {
    ConsoleOut("# The virtual network's nodes and their location strings, as a plan:\n"
               "id,location\n");
    for (int node = 0; node < VnetNodeCount(); ++node) {
        uint8_t id[6];
        uint8_t location[6];
        VnetNodeId(node, id);
        VnetNodeLocation(node, location);
        char line[3 * sizeof id + PlanLocationSize + 2];
        FormatHexPairs(line, id, sizeof id);
        BoundedText out = {line, sizeof line, 3 * sizeof id - 1};
        PutChar(out, ',');
        PutPlanLocation(out, location);
        PutChar(out, '\n');
        ConsoleOut(line);
    }
}
