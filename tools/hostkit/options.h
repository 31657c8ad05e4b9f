// The simulator's command line.
#pragma once

#include <string>

#include "host_sim.h"

namespace k4::hostsim {

struct Options {
  std::string plugin;   // empty: the plug-in built beside the simulator
  std::string profile;  // empty: a fresh temporary profile
  // A scenario runs on a copy of `profile` unless this is set: then what it changes is kept.
  bool writeProfile = false;
  std::string script;  // empty: the demo (script mode) or nothing (live); "-" standard input
  ShowFlags show;
  bool demo = false;
  bool live = false;
  bool help = false;
  bool version = false;
  bool config = false;  // open the configuration dialog in the terminal, save, end
  int updateHz = 10;
  std::string device;            // live: a hidraw device path
  bool hidraw = false;           // live: the plug-in's own hidraw services, pendant there or not
  bool keyboard = false;         // live: the keys play the virtual pendant, no pendant looked for
  std::string record;            // live: scenario file receiving every report
  bool overwrite = false;        // live: --record may replace an existing file
  double durationSeconds = 0.0;  // live: stop after this long (0: until the operator quits)
  std::string plot;              // a picture of the session, written at its end (SVG)
};

// Parses argv; false with `error` set for an unknown option or a bad value.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

// The values of --show, --update-hz and --duration, for every program that takes them; false
// with `error` set (naming the option) for a bad value.
bool parseShowList(const std::string& list, ShowFlags& show, std::string& error);
bool parseUpdateHz(const std::string& text, int& hz, std::string& error);
bool parseDuration(const std::string& text, double& seconds, std::string& error);

extern const char* const kUsage;
// The version of the project, as its CMakeLists.txt gives it.
extern const char* const kVersion;

}  // namespace k4::hostsim
