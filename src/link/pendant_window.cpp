#include "link/pendant_window.h"

#include <utility>

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
  // The device services outlive the window: they must not deliver to it once it is gone.
  if (notificationsRegistered_ && nativeWindow_ != nullptr)
    devices_.unregisterNotifications(*nativeWindow_);
}

bool PendantWindow::createNativeWindow(void* hostView) {
  return attachNativeWindow(k4::createNativeWindow(), hostView);
}

bool PendantWindow::attachNativeWindow(std::unique_ptr<NativeWindow> window, void* hostView) {
  if (notificationsRegistered_ && nativeWindow_ != nullptr) {
    devices_.unregisterNotifications(*nativeWindow_);
    notificationsRegistered_ = false;
  }
  nativeWindow_ = std::move(window);
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
