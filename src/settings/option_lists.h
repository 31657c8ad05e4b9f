// The fixed option lists that the settings index. Each entry is a number, a comma and a label;
// a setting stores the entry's position, the dialog shows the label (the text after the first
// comma, blanks included) and the control logic takes the position or the leading number.
#pragma once

#include <cstddef>
#include <string_view>

namespace k4 {

struct OptionList {
  const char* name;
  const char* const* entries;
  std::size_t size;

  bool contains(int position) const {
    return position >= 0 && static_cast<std::size_t>(position) < size;
  }
  // Leading decimal integer of the entry (blanks before it allowed); 0 for a position outside.
  int number(int position) const;
  // The text after the entry's first comma, exactly as written.
  std::string_view label(int position) const;
};

extern const OptionList StepSizeChoices;
extern const OptionList VelocityDivisors;
extern const OptionList SensitivityThresholds;
extern const OptionList SlowDownDivisors;
extern const OptionList AxisInclusionChoicesA;
extern const OptionList AxisInclusionChoicesB;
extern const OptionList AxisInclusionChoicesC;
extern const OptionList AxisClickChoices;
extern const OptionList CustomButtonActions;

// Leading decimal integer of a text: blanks skipped, optional sign, digits up to the first
// non-digit; no digits gives 0. Saturates at the int32 limits.
int leadingInteger(std::string_view text);

}  // namespace k4
