#include "gcode_words.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace k4::hostsim {

GcodeWordReader::Next GcodeWordReader::next(GcodeWord& word) {
  while (at_ < line_.size() && line_[at_] == ' ')
    ++at_;
  if (at_ >= line_.size())
    return Next::End;
  const auto c = static_cast<unsigned char>(line_[at_++]);
  if (std::isalpha(c) == 0)
    return Next::NotWord;
  while (at_ < line_.size() && line_[at_] == ' ')
    ++at_;
  // strtod needs a terminated string; the rest of the line is short.
  const std::string rest(line_.substr(at_));
  char* end = nullptr;
  const double number = std::strtod(rest.c_str(), &end);
  if (end == rest.c_str())
    return Next::NotWord;
  at_ += static_cast<std::size_t>(end - rest.c_str());
  word.letter = static_cast<char>(std::toupper(c));
  word.number = number;
  return Next::Word;
}

}  // namespace k4::hostsim
