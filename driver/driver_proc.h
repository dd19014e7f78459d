#pragma once
#include "platform/platform.h"

// The driver's one export: every DRV_ and ICM_ message arrives here.
extern "C" LRESULT WINAPI DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM lParam1,
                                     LPARAM lParam2);
