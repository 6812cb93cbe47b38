// The two calls into the sound system: the error beep and the WAVE cues.
#include "ui/cues.h"
#include <mmsystem.h>

void UiBeep(UINT type) {
    MessageBeep(type);
}

// The result is not examined: a missing or unplayable sound brings no message.
void UiPlaySound(const char* name, HMODULE module, DWORD flags) {
    PlaySoundA(name, module, flags);
}
