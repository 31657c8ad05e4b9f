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
  // Notifications whether or not a pendant is there: one plugged in later, or in another port,
  // is looked for when it arrives.
  if (nativeWindow_ != nullptr && !notificationsRegistered_)
    notificationsRegistered_ = devices_.registerNotifications(*nativeWindow_);
  findPendant();
  if (nativeWindow_ != nullptr)
    nativeWindow_->startTimer(kReportTimerId, kReportPeriodMs);
  return deviceConnected;
}

void PendantWindow::findPendant() {
  if (deviceConnected)
    return;
  if (probeHandle != kInvalidHandle) {
    // The probe handle of a pendant found before, which has gone since.
    devices_.close(probeHandle);
    probeHandle = kInvalidHandle;
  }
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
      devicePath = path;
      openLinkHandles();
      // The probe handle stays open while the pendant is in use.
    } else if (probeHandle != kInvalidHandle) {
      devices_.close(probeHandle);
      probeHandle = kInvalidHandle;
    }
  }
  devices_.endEnumeration();
}

void PendantWindow::handleDeviceChange(uint32_t eventType, bool concernsPendant) {
  if (eventType == kDeviceArrival) {
    if (deviceConnected && readHandle != kInvalidHandle) {
      // The pendant is open and working: another interface arrived (another device, or a second
      // pendant, which is left alone). The link is kept, and the next report continues the
      // wheel, so the arrival drops no counts.
      openLinkHandles();
      return;
    }
    // No pendant link: the pendant is looked for again wherever it is (absent at start, back in
    // another port or under another node, or this very open failed before). It comes up as at
    // start-up: its counter may be anywhere, so its first report is only the wheel's reference.
    // Discovery runs only here, on an arrival, never in the report cycle.
    closeLinkHandles();
    deviceConnected = false;
    awaitingFirstReport = true;
    findPendant();
  } else if (eventType == kDeviceRemoveComplete && concernsPendant) {
    closeLinkHandles();
    deviceConnected = false;
    silentUntilReport = true;
    // The pendant is gone from this path: a later removal there (another device that took over
    // the node) is not the pendant's. It is looked for again at the next arrival.
    notifyPath.clear();
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
