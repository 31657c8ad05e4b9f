// LinuxCNC's development headers include this one header of a large library they do not depend
// on; this is the whole of what they use of it. Only on the include path when the real one is
// missing.
#pragma once

namespace boost {
class noncopyable {
 protected:
  noncopyable() = default;
  ~noncopyable() = default;

 public:
  noncopyable(const noncopyable&) = delete;
  noncopyable& operator=(const noncopyable&) = delete;
};
}  // namespace boost
