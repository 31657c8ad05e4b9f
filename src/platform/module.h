// Module services: the module's own file name, the socket layer, a message box.
#pragma once

#include <string>

namespace k4 {

// Full path of the plug-in module's own file; empty when unknown.
std::string moduleFileName();
// Starts the platform's socket layer (version 1.1 on Windows). False on failure.
bool initSocketLayer();
void shutdownSocketLayer();
void showMessageBox(const char* text);

}  // namespace k4
