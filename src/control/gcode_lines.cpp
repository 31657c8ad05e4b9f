#include "control/gcode_lines.h"

#include <bit>
#include <cstring>

namespace k4 {

namespace {

// An unsigned integer wide enough for any finite double times 10^4 (at most 1024 + 67 bits),
// in 32-bit words, least significant first. Only the few operations the formatter needs.
class WideUnsigned {
 public:
  explicit WideUnsigned(uint64_t value) {
    words_[0] = static_cast<uint32_t>(value);
    words_[1] = static_cast<uint32_t>(value >> 32);
    used_ = 2;
    trim();
  }

  bool isZero() const { return used_ == 0; }
  bool isOdd() const { return used_ != 0 && (words_[0] & 1u) != 0; }

  void multiply(uint32_t factor) {
    uint64_t carry = 0;
    for (int i = 0; i < used_; ++i) {
      const uint64_t product = uint64_t{words_[i]} * factor + carry;
      words_[i] = static_cast<uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0)
      words_[used_++] = static_cast<uint32_t>(carry);
  }

  void addOne() {
    for (int i = 0; i < used_; ++i) {
      if (++words_[i] != 0)
        return;
    }
    words_[used_++] = 1;
  }

  void shiftLeft(int bits) {
    const int wordShift = bits / 32;
    const int bitShift = bits % 32;
    if (used_ == 0)
      return;
    int newUsed = used_ + wordShift + 1;
    for (int i = newUsed - 1; i >= 0; --i) {
      const int source = i - wordShift;
      uint32_t word = 0;
      if (source >= 0 && source < used_)
        word = words_[source] << bitShift;
      if (bitShift != 0 && source - 1 >= 0 && source - 1 < used_) {
        word |= words_[source - 1] >> (32 - bitShift);
      }
      words_[i] = word;
    }
    used_ = newUsed;
    trim();
  }

  // Divides by 2^bits and rounds to nearest, ties to even.
  void shiftRightRounded(int bits) {
    const bool halfBit = bit(bits - 1);
    bool belowHalf = false;
    for (int i = 0; i < bits - 1 && !belowHalf; ++i)
      belowHalf = bit(i);
    const int wordShift = bits / 32;
    const int bitShift = bits % 32;
    int newUsed = used_ - wordShift;
    if (newUsed < 0)
      newUsed = 0;
    for (int i = 0; i < newUsed; ++i) {
      const int source = i + wordShift;
      uint32_t word = words_[source] >> bitShift;
      if (bitShift != 0 && source + 1 < used_)
        word |= words_[source + 1] << (32 - bitShift);
      words_[i] = word;
    }
    used_ = newUsed;
    trim();
    if (halfBit && (belowHalf || isOdd()))
      addOne();
  }

  // Divides in place and returns the remainder.
  uint32_t divide(uint32_t divisor) {
    uint64_t remainder = 0;
    for (int i = used_ - 1; i >= 0; --i) {
      const uint64_t current = (remainder << 32) | words_[i];
      words_[i] = static_cast<uint32_t>(current / divisor);
      remainder = current % divisor;
    }
    trim();
    return static_cast<uint32_t>(remainder);
  }

 private:
  static constexpr int kWords = 36;

  bool bit(int index) const {
    if (index < 0 || index / 32 >= used_)
      return false;
    return ((words_[index / 32] >> (index % 32)) & 1u) != 0;
  }
  void trim() {
    while (used_ > 0 && words_[used_ - 1] == 0)
      --used_;
  }

  uint32_t words_[kWords] = {};
  int used_ = 0;
};

// Writes `value` in decimal, at least `minDigits` digits with leading zeros; returns the length.
std::size_t writeDigits(uint32_t value, std::size_t minDigits, char* out) {
  char reversed[10];
  std::size_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count < minDigits)
    reversed[count++] = '0';
  for (std::size_t i = 0; i < count; ++i)
    out[i] = reversed[count - 1 - i];
  return count;
}

std::size_t copyText(std::string_view text, char* out) {
  std::memcpy(out, text.data(), text.size());
  return text.size();
}

constexpr uint32_t kTenThousand = 10000;
constexpr uint32_t kChunk = 1000000000;  // nine decimal digits
constexpr int kMaxChunks = 36;           // 309 integer digits need 35

}  // namespace

std::size_t formatFixed4(double value, char (&out)[kMaxFixed4Length]) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const int biasedExponent = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);

  std::size_t length = 0;
  if (negative)
    out[length++] = '-';
  if (biasedExponent == 0x7FF) {
    return length + copyText(fraction == 0 ? "inf" : "nan", out + length);
  }

  // value = mantissa * 2^exponent exactly; scaled = value * 10^4 rounded to an integer.
  const uint64_t mantissa = biasedExponent == 0 ? fraction : fraction | (uint64_t{1} << 52);
  const int exponent = (biasedExponent == 0 ? 1 : biasedExponent) - 1075;
  WideUnsigned scaled(mantissa);
  scaled.multiply(kTenThousand);
  if (exponent >= 0) {
    scaled.shiftLeft(exponent);
  } else if (exponent >= -70) {
    scaled.shiftRightRounded(-exponent);
  } else {
    // mantissa * 10^4 < 2^67, so anything shifted by more than 68 bits is below one half.
    scaled = WideUnsigned(0);
  }

  const uint32_t decimals = scaled.divide(kTenThousand);
  uint32_t chunks[kMaxChunks];
  int chunkCount = 0;
  do {
    chunks[chunkCount++] = scaled.divide(kChunk);
  } while (!scaled.isZero() && chunkCount < kMaxChunks);

  length += writeDigits(chunks[chunkCount - 1], 1, out + length);
  for (int i = chunkCount - 2; i >= 0; --i)
    length += writeDigits(chunks[i], 9, out + length);
  out[length++] = '.';
  length += writeDigits(decimals, 4, out + length);
  return length;
}

GcodeLine& GcodeLine::append(std::string_view text) {
  const std::size_t room = kCapacity - 1 - length_;
  const std::size_t count = text.size() < room ? text.size() : room;
  std::memcpy(text_ + length_, text.data(), count);
  length_ += count;
  text_[length_] = '\0';
  return *this;
}

GcodeLine& GcodeLine::appendInt(int32_t value) {
  char digits[12];
  std::size_t length = 0;
  int64_t wide = value;
  if (wide < 0) {
    digits[length++] = '-';
    wide = -wide;
  }
  length += writeDigits(static_cast<uint32_t>(wide), 1, digits + length);
  return append({digits, length});
}

GcodeLine& GcodeLine::appendFixed4(double value) {
  char number[kMaxFixed4Length];
  return append({number, formatFixed4(value, number)});
}

GcodeLine stepLineAtRate(int32_t feedRate, std::string_view axisLetter, double distance) {
  GcodeLine line;
  line.append("G91G1 F").appendInt(feedRate).append(" ").append(axisLetter).append(" ");
  line.appendFixed4(distance);
  return line;
}

GcodeLine stepLineAtFeed(double feed, std::string_view axisLetter, double distance) {
  GcodeLine line;
  line.append("G91G1 F").appendFixed4(feed).append(" ").append(axisLetter).append(" ");
  line.appendFixed4(distance);
  return line;
}

GcodeLine stepLineWithoutFeed(std::string_view axisLetter, double distance) {
  GcodeLine line;
  line.append("G91G1 ").append(axisLetter).append(" ").appendFixed4(distance);
  return line;
}

GcodeLine rotatedStepLine(double x, double y) {
  GcodeLine line;
  line.append("G91G1 X").appendFixed4(x).append(" Y").appendFixed4(y).append(" ");
  return line;
}

}  // namespace k4
