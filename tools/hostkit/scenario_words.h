// The words of a scenario line: splitting a line into words (with quotes and comments) and
// reading integers, numbers, bits and KEY=VALUE pairs, each refused with a ParseError that says
// what was expected.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "scenario.h"

namespace k4::hostsim::scenario_words {

struct Token {
  std::string text;  // quotes removed
  bool quoted = false;
};

std::string quote(const std::string& s);

// Splits a line into blank-separated words; KEY="text with blanks" is one word whose quotes are
// removed. A '#' outside quotes starts a comment.
std::vector<Token> splitWords(const std::string& line, int lineNumber);

long long parseInteger(const std::string& text, long long low, long long high, int lineNumber,
                       const std::string& what);
double parseNumber(const std::string& text, int lineNumber, const std::string& what);
bool parseBit(const std::string& text, int lineNumber, const std::string& what);
// A setting key: letters, digits and '_', not starting with a digit.
bool plainName(const std::string& name);
// KEY=VALUE; the value may have been quoted.
std::pair<std::string, std::string> splitAssignment(const Token& word, int lineNumber);

}  // namespace k4::hostsim::scenario_words
