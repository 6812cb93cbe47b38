// The "Virtual network" panel: the virtual nodes with their IDs and location
// strings, a "Service pin" button per node, and the traffic on the wire.
#pragma once
#include <windows.h>

// Creates and shows the panel (without taking the activation) at x, y.
// The panel refreshes itself on a timer; it needs a message loop on its thread.
HWND CreateNetworkPanel(HINSTANCE instance, int x, int y);

// Where the traffic log's columns begin, in pixels from the left of its
// lines: the messages' names and their bytes (the list's tab stops), for
// checking that the columns hold their texts.
void NetworkPanelLogColumns(int* nameAt, int* bytesAt);

// Class name and control ids, for programs that find and drive the panel.
#define NETWORK_PANEL_CLASS "LocstrNetworkPanel"
#define IDC_PANEL_NODE_TEXT 200   // + node number: "<ID>  <location>"
#define IDC_PANEL_SERVICE_PIN 300 // + node number
#define IDC_PANEL_TRAFFIC 400
