// SVG primitives for the session picture: numbers written the same on every machine, escaped
// text, tick steps, and a document that collects elements. The standard library only.
#pragma once

#include <string>

namespace k4::hostsim::svg {

inline constexpr const char* kInk = "#222222";  // text unless told otherwise

// `value` with `decimals` decimals, never "-0".
std::string number(double value, int decimals);
// A coordinate: two decimals.
std::string px(double value);
// Text made safe for XML content and attribute values.
std::string escape(const std::string& text);
// About how wide `text` is drawn at font size `size` (no font metrics at hand).
double textWidth(const std::string& text, double size);
// A tick step of 1, 2 or 5 times a power of ten giving about `wanted` ticks over `range`.
double tickStep(double range, int wanted);
// Decimals enough to write multiples of `step`.
int decimalsFor(double step);

class Document {
 public:
  void add(const std::string& element) {
    out_ += element;
    out_ += '\n';
  }
  void text(double x, double y, const std::string& string, double size = 12,
            const char* anchor = "start", const char* colour = kInk,
            const char* weight = "normal") {
    add("<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" font-size=\"" + number(size, 0) +
        "\" text-anchor=\"" + anchor + "\" fill=\"" + colour + "\" font-weight=\"" + weight +
        "\">" + escape(string) + "</text>");
  }
  void line(double x1, double y1, double x2, double y2, const char* colour, double width = 1) {
    add("<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) + "\" y2=\"" + px(y2) +
        "\" stroke=\"" + colour + "\" stroke-width=\"" + number(width, 1) + "\"/>");
  }
  void rect(double x, double y, double w, double h, const char* fill,
            const std::string& extra = "") {
    add("<rect x=\"" + px(x) + "\" y=\"" + px(y) + "\" width=\"" + px(w) + "\" height=\"" + px(h) +
        "\" fill=\"" + fill + "\"" + extra + "/>");
  }
  const std::string& str() const { return out_; }

 private:
  std::string out_;
};

}  // namespace k4::hostsim::svg
