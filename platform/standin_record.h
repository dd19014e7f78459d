#pragma once
// What the non-Windows stand-in was asked to do, for tests to inspect, and
// the knobs that let tests provoke the platform's failures.

#ifndef _WIN32
#include <string>
#include <vector>

#include "platform/vfw_standin.h"

namespace kmqx::standin {

struct DialogRequest {
    HINSTANCE module;
    UINT_PTR templateId;  // MAKEINTRESOURCE value, 0 when a name was given
    HWND parent;
    LPARAM initParam;
};

struct MessageBoxRequest {
    HWND parent;
    std::string text;
    std::string caption;
    UINT type;
};

struct DefDriverProcCall {
    DWORD_PTR driverId;
    UINT message;
    LPARAM lParam1;
    LPARAM lParam2;
};

struct Record {
    std::vector<DialogRequest> dialogs;
    std::vector<MessageBoxRequest> messageBoxes;
    std::vector<std::string> librariesLoaded;
    std::vector<DefDriverProcCall> defDriverProcCalls;
    std::vector<INT_PTR> dialogEndResults;  // EndDialog results, in order
    LONG_PTR dialogUserValue = 0;           // last DWLP_USER value set
};

// Everything asked since the last ResetRecord.
Record& GetRecord();
void ResetRecord();

// DialogBoxParamA: with no script the call creates no dialog and returns -1
// (as when the template is missing). With a script it sends WM_INITDIALOG and
// then the scripted messages to the dialog procedure until EndDialog is
// called, and returns EndDialog's result (-1 if it never is).
struct ScriptedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
void SetDialogScript(const std::vector<ScriptedMessage>& script);

// LocalAlloc fails for the allocation numbered failAt (1 = the next one)
// after this call; 0 switches failures off.
void FailLocalAllocAt(int failAt);
// Blocks handed out by LocalAlloc and not yet given back.
int LiveLocalBlocks();

}  // namespace kmqx::standin
#endif
