// The stand-in's system calls for builds without Windows.
#ifndef _WIN32
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/standin_record.h"
#include "platform/vfw_standin.h"

namespace kmqx::standin {
namespace {

Record& RecordStorage() {
    static Record record;
    return record;
}

std::vector<ScriptedMessage>& DialogScript() {
    static std::vector<ScriptedMessage> script;
    return script;
}

// LocalAlloc and LocalFree are safe from any thread, as on Windows.
std::atomic<int> allocationsUntilFailure{0};
std::atomic<int> liveBlocks{0};
bool dialogEnded = false;
INT_PTR dialogResult = -1;

// A fake module handle for the driver's own module; never dereferenced.
HMODULE OwnModule() {
    static char moduleTag;
    return reinterpret_cast<HMODULE>(&moduleTag);
}

HWND FakeDialogWindow() {
    static char windowTag;
    return reinterpret_cast<HWND>(&windowTag);
}

}  // namespace

Record& GetRecord() {
    return RecordStorage();
}

void ResetRecord() {
    RecordStorage() = Record{};
    DialogScript().clear();
}

void SetDialogScript(const std::vector<ScriptedMessage>& script) {
    DialogScript() = script;
}

void FailLocalAllocAt(int failAt) {
    allocationsUntilFailure = failAt;
}

int LiveLocalBlocks() {
    return liveBlocks;
}

}  // namespace kmqx::standin

using namespace kmqx::standin;

// Counts down the allocations a test asked to let through; true for the one
// that is to fail.
static bool ThisAllocationFails() {
    int left = allocationsUntilFailure.load();
    while (left > 0 && !allocationsUntilFailure.compare_exchange_weak(left, left - 1)) {
    }
    return left == 1;
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    if (ThisAllocationFails()) return nullptr;
    void* block = (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1)
                                          : std::malloc(bytes ? bytes : 1);
    if (block) ++liveBlocks;
    return block;
}

HLOCAL LocalFree(HLOCAL memory) {
    if (memory) {
        --liveBlocks;
        std::free(memory);
    }
    return nullptr;
}

// CP_ACP here is plain ASCII/Latin-1: each byte becomes one code unit.
int MultiByteToWideChar(UINT, DWORD, LPCSTR text, int textLength, LPWSTR wide, int wideCapacity) {
    if (!text) return 0;
    size_t length = textLength < 0 ? std::strlen(text) + 1 : static_cast<size_t>(textLength);
    if (wideCapacity == 0) return static_cast<int>(length);
    if (!wide || length > static_cast<size_t>(wideCapacity)) return 0;
    for (size_t i = 0; i < length; ++i) wide[i] = static_cast<unsigned char>(text[i]);
    return static_cast<int>(length);
}

HMODULE LoadLibraryExA(LPCSTR name, HANDLE, DWORD) {
    RecordStorage().librariesLoaded.push_back(name ? name : "");
    return nullptr;  // no other modules exist here
}

BOOL GetModuleHandleExA(DWORD, LPCSTR, HMODULE* module) {
    if (!module) return FALSE;
    *module = OwnModule();
    return TRUE;
}

LRESULT DefDriverProc(DWORD_PTR driverId, HDRVR, UINT message, LPARAM lParam1, LPARAM lParam2) {
    RecordStorage().defDriverProcCalls.push_back({driverId, message, lParam1, lParam2});
    return 0;
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam) {
    UINT_PTR id = reinterpret_cast<UINT_PTR>(templateName);
    RecordStorage().dialogs.push_back({instance, id <= 0xFFFF ? id : 0, parent, initParam});
    std::vector<ScriptedMessage> script = DialogScript();
    if (script.empty() || !dialogProc) return -1;
    dialogEnded = false;
    dialogResult = -1;
    HWND window = FakeDialogWindow();
    dialogProc(window, WM_INITDIALOG, 0, initParam);
    for (const ScriptedMessage& step : script) {
        if (dialogEnded) break;
        dialogProc(window, step.message, step.wParam, step.lParam);
    }
    return dialogEnded ? dialogResult : -1;
}

BOOL EndDialog(HWND, INT_PTR result) {
    dialogEnded = true;
    dialogResult = result;
    RecordStorage().dialogEndResults.push_back(result);
    return TRUE;
}

LONG_PTR SetWindowLongPtrA(HWND, int index, LONG_PTR value) {
    if (index != static_cast<int>(DWLP_USER)) return 0;
    LONG_PTR previous = RecordStorage().dialogUserValue;
    RecordStorage().dialogUserValue = value;
    return previous;
}

LONG_PTR GetWindowLongPtrA(HWND, int index) {
    return index == static_cast<int>(DWLP_USER) ? RecordStorage().dialogUserValue : 0;
}

int MessageBoxA(HWND parent, LPCSTR text, LPCSTR caption, UINT type) {
    RecordStorage().messageBoxes.push_back(
        {parent, text ? text : "", caption ? caption : "", type});
    return IDOK;
}
#endif
