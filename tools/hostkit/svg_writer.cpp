#include "svg_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace k4::hostsim::svg {

std::string number(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  if (std::strcmp(text, "-0") == 0 || std::strspn(text, "-0.") == std::strlen(text))
    std::snprintf(text, sizeof text, "%.*f", decimals, 0.0);
  return text;
}

std::string px(double value) {
  return number(value, 2);
}

std::string escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // Control characters are not allowed in XML text.
        out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
  return out;
}

double textWidth(const std::string& text, double size) {
  return 0.6 * size * static_cast<double>(text.size());
}

double tickStep(double range, int wanted) {
  const double raw = range / std::max(1, wanted);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double factor : {1.0, 2.0, 5.0, 10.0}) {
    if (raw <= factor * power)
      return factor * power;
  }
  return 10 * power;
}

int decimalsFor(double step) {
  return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
}

}  // namespace k4::hostsim::svg
