// Device discovery and device changes: find the pendant among the HID interfaces, open it, and
// follow it being unplugged and plugged in again.
#include "host/host.h"
#include "link/pendant_window.h"

namespace k4 {

void PendantWindow::closeLinkHandles() {
  for (DeviceHandle* handle : {&readHandle, &writeHandle}) {
    if (*handle != kInvalidHandle) {
      devices_.close(*handle);
      *handle = kInvalidHandle;
    }
  }
}

void PendantWindow::openLinkHandles() {
  // Another interface may have arrived while the handles were still open: replace them, never
  // leak them.
  closeLinkHandles();
  readHandle = devices_.openRead(devicePath);
  writeHandle = devices_.openWrite(devicePath);
}

bool PendantWindow::discoverDevice() {
  devices_.beginEnumeration();
  std::string path;
  for (uint32_t index = 0; !deviceConnected && devices_.interfacePath(index, path); ++index) {
    if (probeHandle != kInvalidHandle) {
      // A probe handle left open by an earlier discovery belongs to a pendant already found.
      devices_.close(probeHandle);
      probeHandle = kInvalidHandle;
    }
    probeHandle = devices_.openProbe(path);
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    const bool known =
        probeHandle != kInvalidHandle && devices_.attributes(probeHandle, vendorId, productId);
    deviceConnected = false;
    if (known && uint32_t{vendorId} == kPendantVendorId &&
        uint32_t{productId} == kPendantProductId) {
      deviceConnected = true;
      notifyPath = path;
      if (nativeWindow_ != nullptr && !notificationsRegistered_) {
        notificationsRegistered_ = devices_.registerNotifications(*nativeWindow_);
      }
      devicePath = path;
      openLinkHandles();
      // The probe handle stays open while the pendant is in use.
    } else if (probeHandle != kInvalidHandle) {
      devices_.close(probeHandle);
      probeHandle = kInvalidHandle;
    }
  }
  devices_.endEnumeration();
  if (nativeWindow_ != nullptr)
    nativeWindow_->startTimer(kReportTimerId, kReportPeriodMs);
  return deviceConnected;
}

void PendantWindow::handleDeviceChange(uint32_t eventType, bool concernsPendant) {
  if (eventType == kDeviceArrival) {
    // Which interface arrived is not examined: the stored path is simply tried again, and a
    // failed open leaves the cycle reading nothing. Only a pendant whose link was down (removed,
    // or never opened) may come back with its counter elsewhere; while the link stayed up, the
    // next report continues the wheel, so another device's arrival drops no counts.
    const bool linkWasDown = !deviceConnected || readHandle == kInvalidHandle;
    deviceConnected = true;
    if (linkWasDown)
      awaitingFirstReport = true;
    openLinkHandles();
  } else if (eventType == kDeviceRemoveComplete && concernsPendant) {
    closeLinkHandles();
    deviceConnected = false;
    silentUntilReport = true;
    host.doButton(button::kReset);
    // Nobody is at the wheel any more: a jog the host may still be running is ended, whether or
    // not the host takes 1021 as a stop, and nobody can release its start action either.
    abandonJog();
  }
}

void PendantWindow::dropLink() {
  // The pendant takes no output: whatever it is doing, its reports can no longer be trusted to
  // come. The link goes down as at a removal and comes back at the next arrival. No 1021: the
  // pendant may still be in the operator's hand, and toggling the host's reset is the
  // operator's own choice, made with the reset switch or by unplugging.
  closeLinkHandles();
  deviceConnected = false;
  silentUntilReport = true;
  abandonJog();
}

}  // namespace k4
