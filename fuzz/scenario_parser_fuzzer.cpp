// Arbitrary text as a host-simulator scenario. The parser reads the whole script before anything
// runs, so whatever it is given it must either hand back the commands or stop at one bad line
// with a ParseError: never a crash, never another exception, and the error names a line of the
// script with a one-line message.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "scenario.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "broken invariant: %s [%s]\n", what, detail.c_str());
  std::abort();
}

// Lines as the parser counts them.
int lineCount(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  int count = 0;
  while (std::getline(lines, line))
    ++count;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int lines = lineCount(text);
  try {
    const std::vector<k4::hostsim::Command> commands = k4::hostsim::parseScenario(text);
    for (const k4::hostsim::Command& command : commands) {
      if (command.line < 1 || command.line > lines)
        fail("a command from no line of the script");
      if (command.op == k4::hostsim::Op::Config &&
          (command.dialog.empty() ||
           (command.dialog.back().kind != k4::ScriptedDialogView::Step::Kind::PressOk &&
            command.dialog.back().kind != k4::ScriptedDialogView::Step::Kind::PressEscape))) {
        fail("a dialog script that does not end with OK or Escape");
      }
    }
  } catch (const k4::hostsim::ParseError& error) {
    const std::string message = error.what();
    if (error.line < 1 || error.line > lines)
      fail("an error on no line of the script", message);
    if (message.empty() || message.find('\n') != std::string::npos)
      fail("an error message that is not one line", message);
  } catch (const std::exception& other) {
    fail("an exception other than a parse error", other.what());
  } catch (...) {
    fail("something other than an exception thrown");
  }
  return 0;
}
