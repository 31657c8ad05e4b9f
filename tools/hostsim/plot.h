// A picture of a simulator session (k4-hostsim --plot FILE.svg): the pendant's wheel and
// intensity, the jog mode, the axis positions, the jog records' speeds and the host actions,
// on one time axis in seconds, drawn from a `SessionTrace`.
//
// The picture is SVG written here, with the standard library only: it needs nothing installed,
// it stays sharp at any zoom in a browser or the packaged HTML guide, and its text is checkable
// by the tests.
#pragma once

#include <string>

#include "session_trace.h"

namespace k4::hostsim {

// Writes the picture; false with `error` set when the file cannot be written.
bool writeSessionPlot(const SessionTrace& trace, const std::string& title, const std::string& path,
                      std::string& error);

}  // namespace k4::hostsim
