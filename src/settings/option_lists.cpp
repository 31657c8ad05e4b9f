#include "settings/option_lists.h"

#include <cstdint>
#include <limits>

namespace k4 {

namespace {

template <std::size_t N>
constexpr OptionList makeList(const char* name, const char* const (&entries)[N]) {
  return OptionList{name, entries, N};
}

const char* const kStepSizeEntries[] = {"1,NONE", "2,0.0001", "3,0.001", "4,0.01", "5,0.1"};
const char* const kVelocityDivisorEntries[] = {"3,1", "4,2",  "5,3",  "6,4",  "7,5",
                                               "9,6", "11,7", "15,8", "20,9", "25,10"};
const char* const kSensitivityEntries[] = {"1,1", "2,2", "3,3", "4,4", "5,5",
                                           "6,6", "7,7", "8,8", "9,9", "10,10"};
const char* const kSlowDownEntries[] = {"2,2", "3,3", "4,4"};
const char* const kAxisAEntries[] = {"1,Not Include A Axis in Axis Selection",
                                     "2,Include A Axis in Axis Selection"};
const char* const kAxisBEntries[] = {"1,Not Include B Axis in Axis Selection",
                                     "2,Include B Axis in Axis Selection"};
const char* const kAxisCEntries[] = {"1,Not Include C Axis in Axis Selection",
                                     "2,Include C Axis in Axis Selection"};
const char* const kAxisClickEntries[] = {"1,Single Click Selection",
                                         "2,Single Click Downwards, Double Click Upwards"};

// Host code, comma, label. The blanks that pad the labels are part of the texts the dialog
// shows; the code is read as the leading integer, so they do not matter to the logic.
const char* const kCustomButtonEntries[] = {
    "899, NONE",                               // 0
    "899  , ------------------------------ ",  // 1
    "813, OEM Button #1",                      // 2
    "814, OEM Button #2",                      // 3
    "815, OEM Button #3",                      // 4
    "816, OEM Button #4",                      // 5
    "817, Custom Macro #1",                    // 6
    "818, Custom Macro #2",                    // 7
    "819, Custom Macro #3",                    // 8
    "820, Custom Macro #4",                    // 9
    "899  , ------------------------------ ",  // 10
    "1 , Screen 1 (Program Run screen)  ",     // 11
    "2 , Screen 2 (MDI screen)          ",     // 12
    "3 , screen 3 (Toolpath screen)     ",     // 13
    "4 , screen 4 (Positioning screen)  ",     // 14
    "5 , screen 5 (Diagnostics screen)  ",     // 15
    "6 , screen 6 ( Corrections screen) ",     // 16
    "7 , screen 7 (Tables screen)       ",     // 17
    "323 , Toggle visibility of TAB screen",   // 18
    "160 , Regen toolpath display         ",   // 19
    "899  , ------------------------------ ",  // 20
    "113 , Flood toggle                   ",   // 21
    "114 , Mist toggle                    ",   // 22
    "899  , ------------------------------ ",  // 23
    "178 , Offline toggle                 ",   // 24
    "103 , Jog ON and OFF toggle          ",   // 25
    "1029 , Softlimits Toggle              ",  // 26
    "172 , Clear error label              ",   // 27
    "167 , Z inhibit toggle               ",   // 28
    "899  , ------------------------------ ",  // 29
    "106 , mm/inch                        ",   // 30
    "256 , Machine Coordinates toggle     ",   // 31
    "333 , Toggle Dist to Go              ",   // 32
    "899  , ------------------------------ ",  // 33
    "171 , Jog increment cycle            ",   // 34
    "191 , Select Jog Increment 1         ",   // 35
    "192 , Select Jog Increment 2         ",   // 36
    "245 , Jog mode STEP CONT MPG toggle  ",   // 37
    "899  , ------------------------------ ",  // 38
    "250 , Disable movement on axis X     ",   // 39
    "251 , Disable movement on axis Y     ",   // 40
    "252 , Disable movement on axis Z     ",   // 41
    "253 , Disable movement on axis A     ",   // 42
    "899  , ------------------------------ ",  // 43
    "139 , Part X Offset Touch            ",   // 44
    "140 , Part Y Offset Touch            ",   // 45
    "141 , Part Z Offset Touch            ",   // 46
    "142 , Part A Offset Touch            ",   // 47
    "899  , ------------------------------ ",  // 48
    "145 , Tool X Offset Touch            ",   // 49
    "146 , Tool Z Offset Touch            ",   // 50
    "899  , ------------------------------ ",  // 51
    "1007 , ZeroAll\t\t\t                 ",   // 52
    "1008 , Zero X                         ",  // 53
    "1009 , Zero Y                         ",  // 54
    "1010 , Zero Z                         ",  // 55
    "1011 , Zero A                         ",  // 56
    "899  , ------------------------------ ",  // 57
    "1022 , Ref X                          ",  // 58
    "1023 , Ref Y                          ",  // 59
    "1024 , Ref Z                          ",  // 60
    "1025 , Ref A                          ",  // 61
    "899  , ------------------------------ ",  // 62
    "1017 , GotoZs                         ",  // 63
    "138 , Go Home                        ",   // 64
    "104 , Goto Safe Z                    ",   // 65
};
static_assert(sizeof(kCustomButtonEntries) / sizeof(kCustomButtonEntries[0]) == 66);

}  // namespace

const OptionList StepSizeChoices = makeList("StepSizeChoices", kStepSizeEntries);
const OptionList VelocityDivisors = makeList("VelocityDivisors", kVelocityDivisorEntries);
const OptionList SensitivityThresholds = makeList("SensitivityThresholds", kSensitivityEntries);
const OptionList SlowDownDivisors = makeList("SlowDownDivisors", kSlowDownEntries);
const OptionList AxisInclusionChoicesA = makeList("AxisInclusionChoicesA", kAxisAEntries);
const OptionList AxisInclusionChoicesB = makeList("AxisInclusionChoicesB", kAxisBEntries);
const OptionList AxisInclusionChoicesC = makeList("AxisInclusionChoicesC", kAxisCEntries);
const OptionList AxisClickChoices = makeList("AxisClickChoices", kAxisClickEntries);
const OptionList CustomButtonActions = makeList("CustomButtonActions", kCustomButtonEntries);

int leadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                             text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // The magnitude stops growing once it passes the int32 range, so a digit string of any
  // length saturates at INT32_MAX or INT32_MIN (whose magnitude is one more than INT32_MAX).
  int64_t value = 0;
  constexpr int64_t kLimit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value < kLimit)
      value = value * 10 + (text[i] - '0');
  }
  if (negative) {
    return value >= kLimit ? std::numeric_limits<int32_t>::min() : static_cast<int>(-value);
  }
  return value >= kLimit ? std::numeric_limits<int32_t>::max() : static_cast<int>(value);
}

int OptionList::number(int position) const {
  return contains(position) ? leadingInteger(entries[position]) : 0;
}

std::string_view OptionList::label(int position) const {
  if (!contains(position))
    return {};
  std::string_view entry = entries[position];
  const std::size_t comma = entry.find(',');
  return comma == std::string_view::npos ? std::string_view{} : entry.substr(comma + 1);
}

}  // namespace k4
