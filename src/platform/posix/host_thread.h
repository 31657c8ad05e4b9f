// The thread that runs the plug-in: the one on which the pendant window was made, where the
// host's event loop delivers our timer and watches. The unload hook acts only there.
#pragma once

namespace k4::posix {

void rememberHostThread();
bool onHostThread();

}  // namespace k4::posix
