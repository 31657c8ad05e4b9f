// The Windows module that holds this code: the plug-in DLL, or a test program linked with the
// same sources. Window classes and resources belong to it.
#pragma once

#include <windows.h>

namespace k4::win32 {

HMODULE thisModule();

}  // namespace k4::win32
