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

// A session's picture, when `path` names one: the trace stands in front of the program's own
// sink `out`, and the jog records the picture draws are asked for in any case but passed on
// only when `show` asked for them. Without a path the session runs as if this were not there.
// Whether the picture can be written at `path` (nothing to check when empty), tried before the
// session so that a bad path does not cost the session's picture at its end; false with `error`
// set, naming the path and what to do. An existing file is left as it is.
bool canWritePlot(const std::string& path, std::string& error);

class SessionPlot {
 public:
  SessionPlot(EventSink& out, const ProfileFile& profile, ShowFlags show, std::string path);

  // What the simulator is given: where its events go and what it shows.
  EventSink& sink() { return path_.empty() ? out_ : trace_; }
  const ShowFlags& show() const { return show_; }
  // The trace follows the simulator's cycles and the pendant's presence.
  void watch(HostSimulator& sim);
  // At the session's end: draws the picture, if one was asked for; false with `error` set when
  // it cannot be written.
  bool write(const std::string& title, std::string& error) const;

 private:
  EventSink& out_;
  SessionTrace trace_;
  ShowFlags show_;
  std::string path_;
};

}  // namespace k4::hostsim
