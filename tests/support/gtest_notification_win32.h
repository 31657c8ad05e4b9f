// Included ahead of every source of the test programs when the C++ library has no std::mutex
// (MinGW's win32 thread model, the one the shipped module is built with). GoogleTest uses
// std::mutex only for this one helper of its own threading tests; the same, without it.
#pragma once

#include <atomic>

extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

namespace testing::internal {

class Notification {
 public:
  Notification() : notified_(false) {}
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load())
      Sleep(1);
  }

 private:
  std::atomic<bool> notified_;
};

}  // namespace testing::internal

#define GTEST_HAS_NOTIFICATION_ 1
