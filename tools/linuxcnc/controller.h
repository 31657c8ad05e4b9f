// The bridge's view of LinuxCNC: a plain copy of the status it needs, the commands it issues,
// and the channel they pass through. Only nml_controller.cpp knows LinuxCNC's own types, so the
// mapping in bridge.cpp can be tested against a scripted controller.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace k4::lcnc {

constexpr int kAxes = 6;  // X Y Z A B C, the pendant's axes
constexpr int kJoints = 9;

enum class TaskMode { Unknown = 0, Manual = 1, Auto = 2, Mdi = 3 };
enum class Interp { Unknown = 0, Idle = 1, Reading = 2, Paused = 3, Waiting = 4 };
enum class Echo { None = 0, Done = 1, Executing = 2, Error = 3 };

struct Status {
  bool valid = false;
  uint32_t heartbeat = 0;
  int echoSerial = 0;
  Echo echo = Echo::None;

  bool estop = true;
  bool machineOn = false;
  TaskMode mode = TaskMode::Unknown;
  Interp interp = Interp::Unknown;
  bool taskPaused = false;
  bool teleop = false;  // world-coordinate (axis) jogging; joint jogging before homing
  int axisMask = 0;
  int joints = 0;
  std::array<bool, kJoints> homed{};
  std::array<double, kAxes> machinePosition{};  // actual position, machine units
  std::array<double, kAxes> g5xOffset{};
  std::array<double, kAxes> g92Offset{};
  std::array<double, kAxes> toolOffset{};
  std::array<double, kAxes> axisVelocity{};
  bool jogging = false;  // motion reports a jog in progress
  double feedScale = 1.0;
  double spindleScale = 1.0;
  double activeFeed = 0.0;        // the F word in force, program units per minute
  int programUnits = 2;           // 1 inch, 2 mm, 3 cm
  double linearUnitsPerMm = 1.0;  // machine units per millimetre
  int trajQueue = 0;
  bool inPosition = true;  // motion has nothing left to do
  int mdiQueue = 0;
  double rotationXY = 0.0;   // degrees, of the current coordinate system
  bool incremental = false;  // G91 in force
  bool flood = false;
  bool mist = false;
  std::string file;     // the loaded program, empty when none
  std::string iniFile;  // the INI LinuxCNC was started with
};

// A program or an MDI command is under way (paused included): the interpreter may be idle
// already while motion still runs the last line it read.
inline bool interpreterBusy(const Status& s) {
  if (s.interp != Interp::Idle && s.interp != Interp::Unknown)
    return true;
  return s.mode != TaskMode::Manual && s.mode != TaskMode::Unknown &&
         (s.trajQueue > 0 || !s.inPosition || s.mdiQueue > 0);
}

struct Command {
  enum class Kind {
    JogCont,  // axis, speed (machine units/s, signed)
    JogIncr,  // axis, value (distance, signed, machine units), speed (positive)
    // One step line of the plug-in: per axis `distances` (signed) and `speeds`, machine units;
    // `value` is one wheel count's length along the line. The bridge's thread turns it into one
    // JogIncr per axis; the controller never sees it.
    StepLine,
    JogStop,  // axis
    Mdi,      // text
    EstopOn,
    EstopResetOn,  // E-stop off, then machine on
    Run,           // the loaded program from its start
    Resume,
    Pause,
    Abort,
    Home,          // axis (joint) index, -1 all
    FeedScale,     // value (1.0 = 100 %)
    SpindleScale,  // value
    Flood,         // value 0/1
    Mist,          // value 0/1
    OverrideLimits,
    OperatorText,  // text
  };
  Kind kind = Kind::Abort;
  int axis = -1;
  double value = 0.0;
  double speed = 0.0;
  std::string text;
  std::array<double, kAxes> distances{};
  std::array<double, kAxes> speeds{};
  bool backToManual = false;  // Mdi: LinuxCNC returns to manual mode once the line has run
};

class Controller {
 public:
  virtual ~Controller() = default;
  // The latest status; false when none could be read.
  virtual bool readStatus(Status& status) = 0;
  // Writes one command (joint jogs when `jointJog`); returns its serial number, or -1.
  virtual int send(const Command& command, bool jointJog) = 0;
  virtual int setMode(TaskMode mode) = 0;
  virtual int setTeleop(bool enable) = 0;
  // One message from LinuxCNC's error channel, if any.
  virtual bool readError(std::string& text) = 0;
};

}  // namespace k4::lcnc
