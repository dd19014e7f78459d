#pragma once
// The Windows interface the driver is written against: the real headers on
// Windows, a stand-in with the same names, layouts and values elsewhere.

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX  // keep std::min and std::max usable
#endif
#include <windows.h>
// clang-format off
#include <mmsystem.h>
#include <vfw.h>
// clang-format on
#else
#include "platform/vfw_standin.h"
#endif
