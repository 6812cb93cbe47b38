// The location change and the capture of a node's ID from its service pin.
#pragma once

int ChangeLocation();
int WriteLocation();
void OnServicePin();
