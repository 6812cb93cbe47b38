// locstr-batch.exe: no simulated network.
#include "batch/demo.h"

bool BatchIsDemo() {
    return false;
}

void BatchDemoStartUp() {}

void ShowDemoNodes() {}
