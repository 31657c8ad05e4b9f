// The incremental move lines the jog engine sends to the host, built in a fixed buffer on the
// stack: the report cycle must not allocate, and the host parses a decimal point whatever locale
// the host process has switched to, so numbers are formatted here instead of through printf.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace k4 {

// Longest text of one number with four decimals: sign, the 309 integer digits of the largest
// double, the point and four decimals.
constexpr std::size_t kMaxFixed4Length = 1 + 309 + 1 + 4;

// Writes `value` with exactly four decimals, as printf's "%.4f" does in the C locale: the exact
// binary value rounded to nearest, ties to even; a minus sign whenever the sign bit is set (so
// -0.00001 gives "-0.0000"); "inf", "-inf", "nan", "-nan" for the non-finite values. Returns the
// length written; `out` is not terminated.
std::size_t formatFixed4(double value, char (&out)[kMaxFixed4Length]);

// One command line for the host's Code callback, always terminated, never longer than its
// buffer (which holds the longest line these builders can make).
class GcodeLine {
 public:
  static constexpr std::size_t kCapacity = 2 * kMaxFixed4Length + 32;

  GcodeLine() = default;

  const char* c_str() const { return text_; }
  std::size_t size() const { return length_; }
  std::string_view view() const { return {text_, length_}; }

  GcodeLine& append(std::string_view text);
  GcodeLine& appendInt(int32_t value);
  GcodeLine& appendFixed4(double value);

 private:
  char text_[kCapacity] = {};
  std::size_t length_ = 0;
};

// "G91G1 F%d %s %.4f": a step line with the configured step-jog feed rate.
GcodeLine stepLineAtRate(int32_t feedRate, std::string_view axisLetter, double distance);
// "G91G1 F%.4f %s %.4f": a step line with the host's current feed rate.
GcodeLine stepLineAtFeed(double feed, std::string_view axisLetter, double distance);
// "G91G1 %s %.4f": a step line without a feed word.
GcodeLine stepLineWithoutFeed(std::string_view axisLetter, double distance);
// "G91G1 X%.4f Y%.4f ": a step turned into the host's rotated XY plane (the trailing blank is
// part of the line the host has always been sent).
GcodeLine rotatedStepLine(double x, double y);

// Sent after each incremental line while the host's programs run in absolute mode.
constexpr const char* kAbsoluteModeLine = "G90";

}  // namespace k4
