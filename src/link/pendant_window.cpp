#include "link/pendant_window.h"

#include "host/host.h"

namespace k4 {

PendantWindow::PendantWindow(DeviceServices& devices) : devices_(devices) {}

PendantWindow::~PendantWindow() {
  // Closing the read handle ends any outstanding read before this object's memory goes away.
  for (DeviceHandle* handle : {&probeHandle, &readHandle, &writeHandle}) {
    if (*handle != kInvalidHandle) {
      devices_.close(*handle);
      *handle = kInvalidHandle;
    }
  }
}

bool PendantWindow::createNativeWindow(void* hostView) {
  nativeWindow_ = k4::createNativeWindow();
  if (nativeWindow_ == nullptr)
    return false;
  if (!nativeWindow_->create(hostView, *this)) {
    nativeWindow_.reset();
    return false;
  }
  return true;
}

void PendantWindow::showStatusMessage(const char* message) {
  host.showStatusMessage(message);
}

}  // namespace k4
