// The words of a G-code line as the hosts read the plug-in's command lines: a letter and a
// number, blanks allowed between and around them ("G91G1 F100 Z 0.0030", "G91G1 X0.7071 Y-0.7071
// "). The simulated machine and the LinuxCNC bridge read their lines with this one reader; each
// decides what a word that is not one of its own means.
#pragma once

#include <cstddef>
#include <string_view>

namespace k4::hostsim {

struct GcodeWord {
  char letter = 0;  // upper case
  double number = 0;
};

class GcodeWordReader {
 public:
  // Reads `line` from `from` on (a caller that knows the line's head skips it).
  explicit GcodeWordReader(std::string_view line, std::size_t from = 0) : line_(line), at_(from) {}

  enum class Next {
    Word,     // `word` holds the next word
    NotWord,  // a character that is no letter, or a letter without a number; passed over
    End,
  };
  Next next(GcodeWord& word);

 private:
  std::string_view line_;
  std::size_t at_;
};

}  // namespace k4::hostsim
