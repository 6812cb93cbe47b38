// What tells locstr-batch-demo.exe from locstr-batch.exe: batch/demo.cpp,
// the demo's virtual network, or batch/demo_stub.cpp, nothing.
#pragma once

bool BatchIsDemo();
// Before the interfaces are looked up: the demo's network installed and its
// interface registered.
void BatchDemoStartUp();
// --show-nodes: the simulated nodes and their strings, as a plan.
void ShowDemoNodes();
