// The program's entry point: start-up, the message loop, the exit code.
#include "ui/frame.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    if (CreateMainWindow(instance, showCommand) == nullptr) {
        return 0; // the running copy was raised instead
    }
    return RunMessageLoop();
}
