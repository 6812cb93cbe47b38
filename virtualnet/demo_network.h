// The demo programs' network (locstr-demo.exe, locstr-batch-demo.exe): the
// virtual network with its interface and nodes, and the interface registered
// in the in-memory registry as an installer registers one.
#pragma once

// The name the demo's interface is listed under.
extern const char DemoInterfaceName[];

void InstallDemoNetwork();
