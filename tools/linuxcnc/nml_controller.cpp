#include "nml_controller.h"

#include <chrono>
#include <cstring>
#include <thread>

// LinuxCNC's headers are not written for our warning set.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#pragma GCC diagnostic ignored "-Wcast-align"
#pragma GCC diagnostic ignored "-Wnull-dereference"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "emc.hh"
#include "emc_nml.hh"
#include "emccfg.h"
#include "nml_oi.hh"
#include "rcs_print.hh"
#pragma GCC diagnostic pop

namespace k4::lcnc {

namespace {

constexpr const char* kProcessName = "xemc";  // the user-interface process of linuxcnc.nml

template <typename Message>
void copyText(char (&into)[LINELEN], const std::string& text) {
  std::strncpy(into, text.c_str(), LINELEN - 1);
  into[LINELEN - 1] = '\0';
}

class NmlController final : public Controller {
 public:
  bool open(const std::string& nmlFile, std::string& error) {
    // NML prints its own diagnostics on every failed attempt; the bridge says what failed.
    set_rcs_print_destination(RCS_PRINT_TO_NULL);
    command_ =
        std::make_unique<RCS_CMD_CHANNEL>(emcFormat, "emcCommand", kProcessName, nmlFile.c_str());
    status_ =
        std::make_unique<RCS_STAT_CHANNEL>(emcFormat, "emcStatus", kProcessName, nmlFile.c_str());
    errors_ = std::make_unique<NML>(nmlErrorFormat, "emcError", kProcessName, nmlFile.c_str());
    if (!command_->valid() || !status_->valid() || !errors_->valid()) {
      error = "cannot open LinuxCNC's NML channels from " + nmlFile +
              " (is LinuxCNC running, as this user?)";
      return false;
    }
    // Started together with LinuxCNC (as its display or one of its applications), the bridge
    // may find the channels before the first status is in them.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (status_->peek() != EMC_STAT_TYPE) {
      if (std::chrono::steady_clock::now() > until) {
        error = "LinuxCNC's status channel holds no status after 10 s";
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    serial_ = static_cast<EMC_STAT*>(status_->get_address())->echo_serial_number;
    return true;
  }

  bool readStatus(Status& out) override {
    const NMLTYPE type = status_->peek();
    if (type != EMC_STAT_TYPE)
      return false;
    const EMC_STAT& s = *static_cast<EMC_STAT*>(status_->get_address());
    out.valid = true;
    out.heartbeat = s.task.heartbeat;
    out.echoSerial = s.echo_serial_number;
    out.echo = s.status == RCS_DONE    ? Echo::Done
               : s.status == RCS_EXEC  ? Echo::Executing
               : s.status == RCS_ERROR ? Echo::Error
                                       : Echo::None;
    out.estop = s.task.state == EMC_TASK_STATE_ESTOP;
    out.machineOn = s.task.state == EMC_TASK_STATE_ON;
    out.mode = static_cast<TaskMode>(s.task.mode);
    out.interp = static_cast<Interp>(s.task.interpState);
    out.taskPaused = s.task.task_paused != 0 || s.motion.traj.paused;
    out.teleop = s.motion.traj.mode == EMC_TRAJ_MODE_TELEOP;
    out.axisMask = s.motion.traj.axis_mask;
    out.joints = s.motion.traj.joints;
    for (int j = 0; j < kJoints; ++j)
      out.homed[j] = s.motion.joint[j].homed != 0;
    const EmcPose* poses[] = {&s.motion.traj.actualPosition, &s.task.g5x_offset, &s.task.g92_offset,
                              &s.task.toolOffset};
    std::array<double, kAxes>* targets[] = {&out.machinePosition, &out.g5xOffset, &out.g92Offset,
                                            &out.toolOffset};
    for (int i = 0; i < 4; ++i) {
      const EmcPose& p = *poses[i];
      *targets[i] = {p.tran.x, p.tran.y, p.tran.z, p.a, p.b, p.c};
    }
    out.jogging = false;
    for (int a = 0; a < kAxes; ++a) {
      out.axisVelocity[a] = s.motion.axis[a].velocity;
      if (s.motion.axis[a].velocity != 0.0)
        out.jogging = true;
    }
    out.jogging = out.jogging || s.motion.jogging_active;
    out.feedScale = s.motion.traj.scale;
    out.spindleScale = s.motion.spindle[0].spindle_scale;
    out.activeFeed = s.task.activeSettings[1];
    out.programUnits = static_cast<int>(s.task.programUnits);
    out.linearUnitsPerMm = s.motion.traj.linearUnits;
    out.trajQueue = s.motion.traj.queue;
    out.inPosition = s.motion.traj.inpos != 0;
    out.mdiQueue = s.task.queuedMDIcommands;
    out.rotationXY = s.task.rotation_xy;
    // activeGCodes[3] holds the distance mode, times ten: 900 absolute, 910 incremental.
    out.incremental = s.task.activeGCodes[3] == 910;
    out.flood = s.io.coolant.flood != 0;
    out.mist = s.io.coolant.mist != 0;
    out.file.assign(s.task.file, strnlen(s.task.file, sizeof s.task.file));
    out.iniFile.assign(s.task.ini_filename,
                       strnlen(s.task.ini_filename, sizeof s.task.ini_filename));
    return true;
  }

  int send(const Command& c, bool jointJog) override {
    const int jjog = jointJog ? 1 : 0;
    switch (c.kind) {
      case Command::Kind::JogCont: {
        EMC_JOG_CONT m;
        m.joint_or_axis = c.axis;
        m.vel = c.speed;
        m.jjogmode = jjog;
        return write(m);
      }
      case Command::Kind::JogIncr: {
        // The distance goes unsigned; the sign of the speed gives the direction.
        EMC_JOG_INCR m;
        m.joint_or_axis = c.axis;
        m.incr = c.value < 0 ? -c.value : c.value;
        m.vel = c.value < 0 ? -c.speed : c.speed;
        m.jjogmode = jjog;
        return write(m);
      }
      case Command::Kind::StepLine:
        return -1;  // the bridge sends a step line as one JogIncr per axis
      case Command::Kind::JogStop: {
        EMC_JOG_STOP m;
        m.joint_or_axis = c.axis;
        m.jjogmode = jjog;
        return write(m);
      }
      case Command::Kind::Mdi: {
        EMC_TASK_PLAN_EXECUTE m;
        copyText<EMC_TASK_PLAN_EXECUTE>(m.command, c.text);
        return write(m);
      }
      case Command::Kind::EstopOn: {
        EMC_TASK_SET_STATE m;
        m.state = EMC_TASK_STATE_ESTOP;
        return write(m);
      }
      case Command::Kind::EstopResetOn: {
        EMC_TASK_SET_STATE m;
        m.state = EMC_TASK_STATE_ESTOP_RESET;
        if (write(m) < 0)
          return -1;
        EMC_TASK_SET_STATE on;
        on.state = EMC_TASK_STATE_ON;
        return write(on);
      }
      case Command::Kind::Run: {
        EMC_TASK_PLAN_RUN m;
        m.line = 0;
        return write(m);
      }
      case Command::Kind::Resume: {
        EMC_TASK_PLAN_RESUME m;
        return write(m);
      }
      case Command::Kind::Pause: {
        EMC_TASK_PLAN_PAUSE m;
        return write(m);
      }
      case Command::Kind::Abort: {
        EMC_TASK_ABORT m;
        return write(m);
      }
      case Command::Kind::Home: {
        EMC_JOINT_HOME m;
        m.joint = c.axis;
        return write(m);
      }
      case Command::Kind::FeedScale: {
        EMC_TRAJ_SET_SCALE m;
        m.scale = c.value;
        return write(m);
      }
      case Command::Kind::SpindleScale: {
        EMC_TRAJ_SET_SPINDLE_SCALE m;
        m.spindle = 0;
        m.scale = c.value;
        return write(m);
      }
      case Command::Kind::Flood: {
        if (c.value != 0.0) {
          EMC_COOLANT_FLOOD_ON m;
          return write(m);
        }
        EMC_COOLANT_FLOOD_OFF m;
        return write(m);
      }
      case Command::Kind::Mist: {
        if (c.value != 0.0) {
          EMC_COOLANT_MIST_ON m;
          return write(m);
        }
        EMC_COOLANT_MIST_OFF m;
        return write(m);
      }
      case Command::Kind::OverrideLimits: {
        EMC_JOINT_OVERRIDE_LIMITS m;
        m.joint = 0;
        return write(m);
      }
      case Command::Kind::OperatorText: {
        EMC_OPERATOR_DISPLAY m;
        m.id = 0;
        copyText<EMC_OPERATOR_DISPLAY>(m.display, c.text);
        return write(m);
      }
    }
    return -1;
  }

  int setMode(TaskMode mode) override {
    EMC_TASK_SET_MODE m;
    m.mode = static_cast<EMC_TASK_MODE_ENUM>(mode);
    return write(m);
  }

  int setTeleop(bool enable) override {
    EMC_TRAJ_SET_TELEOP_ENABLE m;
    m.enable = enable ? 1 : 0;
    return write(m);
  }

  bool readError(std::string& text) override {
    const NMLTYPE type = errors_->read();
    if (type <= 0)
      return false;
    const NMLmsg* message = errors_->get_address();
    switch (type) {
      case EMC_OPERATOR_ERROR_TYPE:
        text = static_cast<const EMC_OPERATOR_ERROR*>(message)->error;
        break;
      case EMC_OPERATOR_TEXT_TYPE:
        text = static_cast<const EMC_OPERATOR_TEXT*>(message)->text;
        break;
      case EMC_OPERATOR_DISPLAY_TYPE:
        text = static_cast<const EMC_OPERATOR_DISPLAY*>(message)->display;
        break;
      case NML_ERROR_TYPE:
        text = static_cast<const NML_ERROR*>(message)->error;
        break;
      case NML_TEXT_TYPE:
        text = static_cast<const NML_TEXT*>(message)->text;
        break;
      case NML_DISPLAY_TYPE:
        text = static_cast<const NML_DISPLAY*>(message)->display;
        break;
      default:
        text = "message of type " + std::to_string(type);
        break;
    }
    return true;
  }

 private:
  int write(RCS_CMD_MSG& message) {
    message.serial_number = ++serial_;
    return command_->write(&message) == 0 ? serial_ : -1;
  }

  std::unique_ptr<RCS_CMD_CHANNEL> command_;
  std::unique_ptr<RCS_STAT_CHANNEL> status_;
  std::unique_ptr<NML> errors_;
  int serial_ = 0;
};

}  // namespace

std::unique_ptr<Controller> connectNml(const std::string& nmlFile, std::string& error) {
  auto controller = std::make_unique<NmlController>();
  if (!controller->open(nmlFile, error))
    return nullptr;
  return controller;
}

const char* defaultNmlFile() {
  return DEFAULT_EMC_NMLFILE;
}

}  // namespace k4::lcnc
