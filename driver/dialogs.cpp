#include "driver/dialogs.h"

#include "driver/format_negotiation.h"

namespace kmqx {
namespace {

// The module this code lives in: the dialog template is one of its own
// resources, whatever file name the library was installed under.
HMODULE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&ShowAbout), &module);
    return module;
}

INT_PTR RunSettingsDialog(DWORD_PTR driverId, HWND parent) {
    return DialogBoxParamA(OwnModule(), MAKEINTRESOURCEA(kSettingsDialogId), parent,
                           SettingsDialogProc, static_cast<LPARAM>(driverId));
}

}  // namespace

LRESULT ShowSettingsDialog(DWORD_PTR driverId, HWND parent) {
    RunSettingsDialog(driverId, parent);
    return 1;
}

LRESULT ConfigureWithFallback(DWORD_PTR driverId, HWND parent) {
    if (RunSettingsDialog(driverId, parent) == -1) ShowAbout(parent);
    return 1;
}

LRESULT ShowAbout(HWND parent) {
    MessageBoxA(parent, kDriverDescription, kDriverName, MB_ICONINFORMATION);
    return ICERR_OK;
}

INT_PTR CALLBACK SettingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK)
                EndDialog(window, IDOK);
            else if (LOWORD(wParam) == IDCANCEL)
                EndDialog(window, IDCANCEL);
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) EndDialog(window, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace kmqx
