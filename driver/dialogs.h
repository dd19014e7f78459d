#pragma once
#include <cstdint>

#include "platform/platform.h"

namespace kmqx {

// Resource identifier of the settings dialog template.
constexpr int kSettingsDialogId = 101;

// DRV_CONFIGURE: the modal settings dialog (display only); always 1.
LRESULT ShowSettingsDialog(DWORD_PTR driverId, HWND parent);
// ICM_CONFIGURE: the settings dialog, or the about box when no dialog could
// be created; always 1.
LRESULT ConfigureWithFallback(DWORD_PTR driverId, HWND parent);
// ICM_ABOUT: the information box with the product name; ICERR_OK.
LRESULT ShowAbout(HWND parent);

INT_PTR CALLBACK SettingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace kmqx
