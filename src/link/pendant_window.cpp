#include "link/pendant_window.h"

#include <cctype>
#include <cstring>
#include <utility>

#include "host/host.h"
#include "host/plugin_state.h"

namespace k4 {

namespace {

// Handlers of the plug-in on the stack, of any window: the host runs us on its one thread, and a
// host callback may run the host's message loop, in which our timer and device changes arrive
// again. Only the outermost handler works; see onTimer and onDeviceChange.
int handlerDepth = 0;

// An empty stored name matches nothing: without a pendant found there is no pendant to remove.
bool sameNameIgnoringCase(const std::string& a, const char* b) {
  if (b == nullptr || a.empty() || a.size() != std::strlen(b))
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

PendantWindow::PendantWindow(DeviceServices& devices) : devices_(devices) {}

PendantWindow::~PendantWindow() {
  releaseResources();
}

void PendantWindow::releaseResources() {
  // The device services outlive the window: they must not deliver to it once it is gone.
  if (notificationsRegistered_ && nativeWindow_ != nullptr)
    devices_.unregisterNotifications(*nativeWindow_);
  notificationsRegistered_ = false;
  // Closing the read handle ends any outstanding read before this object's memory goes away.
  for (DeviceHandle* handle : {&probeHandle, &readHandle, &writeHandle}) {
    if (*handle != kInvalidHandle) {
      devices_.close(*handle);
      *handle = kInvalidHandle;
    }
  }
  deviceConnected = false;
  // Ends the timer. The platform windows touch nothing of their own after handing a message to
  // us, so this is safe from inside the window's own handler.
  nativeWindow_.reset();
  deferredCount_ = 0;
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
  if (!stopped_)
    host.showStatusMessage(message);
}

// ---- Handlers and the host's nested calls ---------------------------------------------------

template <typename Body>
void PendantWindow::runHandler(Body body) {
  ++handlerDepth;
  ++handlersRunning_;
  try {
    body();
  } catch (...) {
    // HandlerStopped: the host stopped this window during a call; anything else must not reach
    // the host's message loop either.
  }
  --handlersRunning_;
  --handlerDepth;
  if (handlerDepth != 0)
    return;
  host.runningHandlerStopped = false;
  // A stopped window goes now; device changes kept for the window in use are handled next.
  PendantWindow* const current = stopped_ ? pendantWindow : this;
  if (stopped_)
    delete this;
  if (current != nullptr && !current->stopped_)
    current->runDeferredDeviceChanges();
}

void PendantWindow::onTimer(uint32_t /*timerId*/) {
  if (handlerDepth != 0) {
    // The host runs its message loop inside one of our calls (a message box, a modal dialog):
    // a cycle here would run inside the one that called the host. Only the hold count moves on.
    if (jogHoldTicks != 0)
      --jogHoldTicks;
    return;
  }
  runHandler([this] { runReportCycle(); });
}

void PendantWindow::onDeviceChange(uint32_t eventType, uint32_t deviceType,
                                   const char* deviceName) {
  if (stopped_)
    return;
  const bool concernsPendant = eventType == kDeviceRemoveComplete &&
                               deviceType == kDeviceTypeInterface &&
                               sameNameIgnoringCase(notifyPath, deviceName);
  if (eventType != kDeviceArrival && !concernsPendant)
    return;
  if (handlerDepth != 0) {
    // Kept, and handled in order once the running handler has returned.
    const int slot =
        deferredCount_ < kDeferredChangeCapacity ? deferredCount_++ : kDeferredChangeCapacity - 1;
    deferredChanges_[slot] = DeferredChange{eventType, concernsPendant};
    return;
  }
  runHandler(
      [this, eventType, concernsPendant] { handleDeviceChange(eventType, concernsPendant); });
}

void PendantWindow::runDeferredDeviceChanges() {
  // Each change runs as a handler of its own, which may find more kept changes when it returns.
  if (deferredCount_ == 0)
    return;
  const DeferredChange next = deferredChanges_[0];
  for (int i = 1; i < deferredCount_; ++i)
    deferredChanges_[i - 1] = deferredChanges_[i];
  --deferredCount_;
  runHandler([this, next] { handleDeviceChange(next.eventType, next.concernsPendant); });
}

void PendantWindow::stopAndRelease(PendantWindow* window) {
  if (window == nullptr || window->stopped_)
    return;
  window->stopWork();
  // A handler of this window still on the stack deletes it when it returns.
  if (window->handlersRunning_ == 0)
    delete window;
}

void PendantWindow::stopWork() {
  stopped_ = true;
  // The stop work counts as a handler: a message loop the host runs inside one of its calls
  // brings no cycle and no device change into it. Its own host calls are made in full even when
  // the handler it interrupts was stopped before.
  ++handlerDepth;
  ++handlersRunning_;
  const bool interruptedHandlerStopped = host.runningHandlerStopped;
  host.runningHandlerStopped = false;
  try {
    abandonJog();
    restoreSavedDros();
  } catch (...) {
    // Nothing may reach the host; the resources below are released in any case.
  }
  releaseResources();
  --handlersRunning_;
  --handlerDepth;
  // The handler that called the host (if any) stops after that call returns.
  host.runningHandlerStopped = interruptedHandlerStopped || handlerDepth != 0;
}

}  // namespace k4
