// Beeps and sound cues: the only two calls into the sound system, kept apart
// so that a test can link a recording variant in their place.
#pragma once
#include <windows.h>

void UiBeep(UINT type);
void UiPlaySound(const char* name, HMODULE module, DWORD flags);
