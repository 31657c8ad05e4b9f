#include "host_view.h"

#include <algorithm>

namespace k4::hostsim {

namespace {

SimHostView& self(void* context) {
  return *static_cast<SimHostView*>(context);
}

}  // namespace

SimHostView::SimHostView() : view_{} {
  view_.version = K4_HOST_VIEW_VERSION;
  view_.size = sizeof view_;
  view_.context = this;
  view_.add_timer = [](void* context, uint32_t periodMs, k4_callback callback, void* argument) {
    return self(context).addTimer(periodMs, callback, argument);
  };
  view_.remove_timer = [](void* context, int id) { self(context).removeTimer(id); };
  view_.watch_fd = [](void* context, int fd, k4_callback callback, void* argument) {
    return self(context).watchFd(fd, callback, argument);
  };
  view_.unwatch_fd = [](void* context, int id) { self(context).unwatchFd(id); };
}

int SimHostView::addTimer(uint32_t periodMs, Callback callback, void* argument) {
  if (callback == nullptr || periodMs == 0)
    return 0;
  const int id = nextId_++;
  timers_.push_back({id, periodMs, now_ + periodMs, callback, argument});
  return id;
}

void SimHostView::removeTimer(int id) {
  std::erase_if(timers_, [id](const Timer& timer) { return timer.id == id; });
}

int SimHostView::watchFd(int fd, Callback callback, void* argument) {
  if (fd < 0 || callback == nullptr)
    return 0;
  const int id = nextId_++;
  watches_.push_back({id, fd, callback, argument});
  return id;
}

void SimHostView::unwatchFd(int id) {
  std::erase_if(watches_, [id](const Watch& watch) { return watch.id == id; });
}

int SimHostView::fireDueTimers(bool coalesce) {
  int fired = 0;
  // A callback may add or remove timers: look each one up again by id before calling it.
  std::vector<int> ids;
  for (const Timer& timer : timers_)
    ids.push_back(timer.id);
  for (int id : ids) {
    for (;;) {
      auto it = std::find_if(timers_.begin(), timers_.end(),
                             [id](const Timer& timer) { return timer.id == id; });
      if (it == timers_.end() || it->due > now_)
        break;
      it->due += it->periodMs;
      while (coalesce && it->due <= now_)
        it->due += it->periodMs;
      const Callback callback = it->callback;
      void* const argument = it->argument;
      callback(argument);
      ++fired;
    }
  }
  return fired;
}

int64_t SimHostView::nextDue() const {
  int64_t due = -1;
  for (const Timer& timer : timers_) {
    if (due < 0 || timer.due < due)
      due = timer.due;
  }
  return due;
}

void SimHostView::fireWatch(int id) {
  auto it = std::find_if(watches_.begin(), watches_.end(),
                         [id](const Watch& watch) { return watch.id == id; });
  if (it != watches_.end())
    it->callback(it->argument);
}

}  // namespace k4::hostsim
