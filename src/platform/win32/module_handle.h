// The Windows module that holds this code: the plug-in DLL, or a test program linked with the
// same sources. Window classes and resources belong to it, and so does the pendant window.
#pragma once

#include <windows.h>

namespace k4::win32 {

HMODULE thisModule();

// The native pendant window that exists now (the one made last), or null.
HWND livePendantWindow();

}  // namespace k4::win32
