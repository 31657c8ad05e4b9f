#include "scenario_words.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace k4::hostsim::scenario_words {

std::string quote(const std::string& s) {
  return "\"" + s + "\"";
}

std::vector<Token> splitWords(const std::string& line, int lineNumber) {
  std::vector<Token> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
      ++i;
    if (i >= line.size() || line[i] == '#')
      break;
    Token word;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
      if (line[i] == '"') {
        const std::size_t close = line.find('"', i + 1);
        if (close == std::string::npos)
          throw ParseError(lineNumber, "unterminated quote");
        word.text += line.substr(i + 1, close - i - 1);
        word.quoted = true;
        i = close + 1;
      } else if (line[i] == '#') {
        break;
      } else {
        word.text += line[i++];
      }
    }
    words.push_back(word);
    if (i < line.size() && line[i] == '#')
      break;
  }
  return words;
}

long long parseInteger(const std::string& text, long long low, long long high, int lineNumber,
                       const std::string& what) {
  long long value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (!text.empty() && text[0] == '+')
    ++first;
  const auto [end, error] = std::from_chars(first, last, value);
  if (text.empty() || error != std::errc() || end != last) {
    throw ParseError(lineNumber, what + ": " + quote(text) + " is not an integer");
  }
  if (value < low || value > high) {
    throw ParseError(lineNumber, what + ": " + text + " is out of range " + std::to_string(low) +
                                     ".." + std::to_string(high));
  }
  return value;
}

double parseNumber(const std::string& text, int lineNumber, const std::string& what) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value)) {
    throw ParseError(lineNumber, what + ": " + quote(text) + " is not a number");
  }
  return value;
}

bool parseBit(const std::string& text, int lineNumber, const std::string& what) {
  if (text == "0")
    return false;
  if (text == "1")
    return true;
  throw ParseError(lineNumber, what + " must be 0 or 1, not " + quote(text));
}

bool plainName(const std::string& name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
    return false;
  for (char c : name) {
    const bool ok =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok)
      return false;
  }
  return true;
}

std::pair<std::string, std::string> splitAssignment(const Token& word, int lineNumber) {
  const std::size_t eq = word.text.find('=');
  if (eq == std::string::npos || eq == 0) {
    throw ParseError(lineNumber, "expected KEY=VALUE, not " + quote(word.text));
  }
  return {word.text.substr(0, eq), word.text.substr(eq + 1)};
}

}  // namespace k4::hostsim::scenario_words
