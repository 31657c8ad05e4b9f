#include "control/gcode_lines.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace k4 {
namespace {

std::string fixed4(double value) {
  char out[kMaxFixed4Length];
  return {out, formatFixed4(value, out)};
}

std::string printfFixed4(double value) {
  char out[400];
  std::snprintf(out, sizeof out, "%.4f", value);
  return out;
}

class Fixed4Test : public ::testing::Test {
 protected:
  void SetUp() override { std::setlocale(LC_ALL, "C"); }
  void expectLikePrintf(double value) {
    ASSERT_EQ(fixed4(value), printfFixed4(value)) << std::hexfloat << value;
  }
};

TEST_F(Fixed4Test, EdgeValuesMatchPrintf) {
  for (double value : {0.0,
                       -0.0,
                       1.0,
                       -1.0,
                       0.00005,
                       -0.00005,
                       0.00015,
                       0.00025,
                       0.03125,
                       -0.03125,
                       0.09375,
                       1.03125,
                       2.5e-5,
                       4.9999e-5,
                       5.0001e-5,
                       0.9999499999,
                       0.99995,
                       9.99995,
                       99999.99995,
                       0.001,
                       0.003,
                       -0.003,
                       25.5,
                       100.0,
                       1e15,
                       123456789012345.6789,
                       9007199254740993.0,
                       1e22,
                       1e23,
                       4.5e19,
                       1.8446744073709552e19,
                       DBL_MAX,
                       -DBL_MAX,
                       DBL_MIN,
                       DBL_TRUE_MIN,
                       std::ldexp(1.0, -15),
                       std::ldexp(3.0, -16),
                       std::ldexp(1.0, 67),
                       std::ldexp(1.0, 70)}) {
    expectLikePrintf(value);
  }
}

TEST_F(Fixed4Test, RandomValuesOverEveryMagnitudeMatchPrintf) {
  std::mt19937_64 random(20240521);
  std::uniform_int_distribution<int> exponent(-60, 70);
  std::uniform_real_distribution<double> mantissa(1.0, 2.0);
  for (int i = 0; i < 200000; ++i) {
    const double value = std::ldexp(mantissa(random), exponent(random)) * (i % 2 ? -1.0 : 1.0);
    expectLikePrintf(value);
  }
  // Every bit pattern is a candidate, subnormals and huge values included.
  for (int i = 0; i < 50000; ++i) {
    const double value = std::bit_cast<double>(random());
    if (std::isfinite(value))
      expectLikePrintf(value);
  }
}

TEST_F(Fixed4Test, HalfwayCasesRoundToEven) {
  // k + 1/2 in units of 1e-4 is exact in binary only when the fraction's denominator is a power
  // of two; these all are.
  for (int k = 0; k < 4000; ++k) {
    expectLikePrintf(std::ldexp(static_cast<double>(2 * k + 1), -5) / 1.0);
    expectLikePrintf((k + 0.5) * 0.0625);
  }
  EXPECT_EQ(fixed4(0.03125), "0.0312");
  EXPECT_EQ(fixed4(0.09375), "0.0938");
}

TEST_F(Fixed4Test, StepDistancesOfTheWheel) {
  for (double increment : {0.0001, 0.001, 0.01, 0.1, 0.0254, 0.00254}) {
    for (int count = -300; count <= 300; ++count)
      expectLikePrintf(count * increment);
  }
}

TEST_F(Fixed4Test, NonFiniteValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(fixed4(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(fixed4(-std::numeric_limits<double>::infinity()), "-inf");
  EXPECT_EQ(fixed4(std::copysign(nan, 1.0)), "nan");
  EXPECT_EQ(fixed4(std::copysign(nan, -1.0)), "-nan");
}

TEST(GcodeLine, TheFiveLines) {
  EXPECT_EQ(stepLineAtRate(100, "Z", -0.003).view(), "G91G1 F100 Z -0.0030");
  EXPECT_EQ(stepLineAtRate(-7, "A", 1.5).view(), "G91G1 F-7 A 1.5000");
  EXPECT_EQ(stepLineAtRate(INT32_MIN, "X", 0.0).view(), "G91G1 F-2147483648 X 0.0000");
  EXPECT_EQ(stepLineAtFeed(25.5, "Z", -0.003).view(), "G91G1 F25.5000 Z -0.0030");
  EXPECT_EQ(stepLineWithoutFeed("C", 0.0005).view(), "G91G1 C 0.0005");
  EXPECT_EQ(rotatedStepLine(0.00866, -0.005).view(), "G91G1 X0.0087 Y-0.0050 ");
  EXPECT_STREQ(kAbsoluteModeLine, "G90");
}

TEST(GcodeLine, LongestLineFitsWhole) {
  const GcodeLine line = stepLineAtFeed(-DBL_MAX, "Z", -DBL_MAX);
  const std::string expected = "G91G1 F" + printfFixed4(-DBL_MAX) + " Z " + printfFixed4(-DBL_MAX);
  EXPECT_EQ(line.view(), expected);
  EXPECT_EQ(std::string(line.c_str()), expected);
}

}  // namespace
}  // namespace k4
