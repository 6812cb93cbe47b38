// The dialog tests' harness: the real window and dialog on the virtual
// network, a message pump that lets pending messages settle, a watcher that
// records and dismisses message boxes, and recordings of beeps and cues.
#pragma once
#include "ui/cues.h"
#include "ui/dialog.h"
#include "ui/frame.h"
#include "ui/window_state.h"
#include <gtest/gtest.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct BoxRecord {
    std::string text;
    std::string caption;
    HWND owner;
};

struct CueRecord {
    std::string name;
    HMODULE module;
    DWORD flags;
};

// Filled by the recording UiBeep / UiPlaySound linked into the tests.
extern std::vector<CueRecord> recordedCues;
extern std::vector<UINT> recordedBeeps;

// Pumps this thread's messages (through IsDialogMessage, like the program's
// loop) until none has arrived for quietMs, or at most maxMs. A WM_QUIT is
// left in the queue for RunMessageLoop.
void Settle(DWORD quietMs = 30, DWORD maxMs = 3000);
// Pumps until the condition holds; false when timeoutMs passed first.
bool SettleUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// When set, the box watcher calls it with each box before it presses OK.
extern void (*boxHook)(HWND box);

// Pellion ID of the test's node, and its text form.
extern const uint8_t TestNodeId[6];
extern const char* const TestNodeIdText;

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // The network and registry as the dialog finds them; tests may override.
    virtual void PrepareNetwork();

    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    std::string Text(int id) const;
    std::string Text(HWND window) const;
    bool Checked(int id) const;
    void Click(int id);
    void SetText(int id, const char* text);
    void Type(int id, const char* text);    // focus, then one WM_CHAR per character
    void Replace(int id, const char* text); // the same over the whole text selected
    void Focus(int id);
    void Open(); // picks the first interface and ticks Open; asserts "Status: Ready"
    std::string NodeLocation() const;
    std::vector<BoxRecord> Boxes() const;
    // Runs the program's message loop to its end; the exit code.
    int EndProgram();

    HWND frame = nullptr;
    HWND dialog = nullptr;
    int node = -1;
    bool ended = false;
};
