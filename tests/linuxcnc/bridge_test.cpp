// The bridge's mapping against a scripted controller: what LinuxCNC is asked to do for the
// plug-in's lines, codes and jog records, and the safety rules around them.
#include "bridge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "host/host_boundary.h"
#include "host_blocks.h"
#include "pendant_controls.h"

namespace k4::lcnc {
namespace {

using namespace std::chrono_literals;

struct Sent {
  Command::Kind kind;
  int axis;
  double value;
  double speed;
  std::string text;
};

class ScriptedController final : public Controller {
 public:
  explicit ScriptedController(Status status) : status_(std::move(status)) {}

  bool readStatus(Status& out) override {
    std::lock_guard lock(mutex_);
    if (!frozen_)
      status_.heartbeat++;
    out = status_;
    return true;
  }
  int send(const Command& c, bool) override {
    std::lock_guard lock(mutex_);
    sent_.push_back({c.kind, c.axis, c.value, c.speed, c.text});
    ++serial_;
    if (stalled_) {
      ++writtenWhileStalled_;
      return serial_;  // no echo until LinuxCNC runs again
    }
    status_.echoSerial = serial_;
    const bool refused = refuse_ && c.kind == *refuse_;
    status_.echo = refused ? Echo::Error : Echo::Done;
    if (refused)
      errors_.push_back("Can't do that now");
    return serial_;
  }
  int setMode(TaskMode mode) override {
    std::lock_guard lock(mutex_);
    status_.mode = mode;
    status_.echoSerial = ++serial_;
    status_.echo = Echo::Done;
    return serial_;
  }
  int setTeleop(bool enable) override {
    std::lock_guard lock(mutex_);
    status_.teleop = enable;
    status_.echoSerial = ++serial_;
    status_.echo = Echo::Done;
    return serial_;
  }
  bool readError(std::string& text) override {
    std::lock_guard lock(mutex_);
    if (errors_.empty())
      return false;
    text = errors_.front();
    errors_.erase(errors_.begin());
    return true;
  }

  std::vector<Sent> sent() {
    std::lock_guard lock(mutex_);
    return sent_;
  }
  void freeze() {
    std::lock_guard lock(mutex_);
    frozen_ = true;
  }
  void refuse(Command::Kind kind) {
    std::lock_guard lock(mutex_);
    refuse_ = kind;
  }
  // LinuxCNC's task stopped for a while: commands are written but not taken.
  void stall(bool stalled) {
    std::lock_guard lock(mutex_);
    stalled_ = stalled;
    if (!stalled) {
      status_.echoSerial = serial_;
      status_.echo = Echo::Done;
    }
  }
  int writtenWhileStalled() {
    std::lock_guard lock(mutex_);
    return writtenWhileStalled_;
  }
  void moveAxis(int axis, double position, double velocity) {
    std::lock_guard lock(mutex_);
    status_.machinePosition[axis] = position;
    status_.axisVelocity[axis] = velocity;
  }

 private:
  std::mutex mutex_;
  Status status_;
  std::vector<Sent> sent_;
  std::vector<std::string> errors_;
  std::optional<Command::Kind> refuse_;
  int serial_ = 0;
  bool frozen_ = false;
  bool stalled_ = false;
  int writtenWhileStalled_ = 0;
};

Status readyMachine() {
  Status s;
  s.valid = true;
  s.estop = false;
  s.machineOn = true;
  s.mode = TaskMode::Manual;
  s.interp = Interp::Idle;
  s.teleop = true;
  s.axisMask = 0xF;
  s.joints = 4;
  for (int j = 0; j < 4; ++j)
    s.homed[j] = true;
  s.activeFeed = 60.0;
  return s;
}

class BridgeTest : public ::testing::Test {
 protected:
  void make(Status status, std::chrono::milliseconds staleAfter = 2000ms,
            const std::function<void(BridgeConfig&)>& adjust = {}) {
    auto controller = std::make_unique<ScriptedController>(std::move(status));
    controller_ = controller.get();
    BridgeConfig config;
    config.maxVelocity = {50, 50, 25, 90, 0, 0};
    config.maxAcceleration = {500, 500, 500, 900, 0, 0};
    config.defaultVelocity = 10;
    config.maxFeedOverride = 2.5;
    config.maxSpindleOverride = 2.5;
    config.operatorMessages = false;
    config.readErrors = true;
    config.staleAfter = staleAfter;
    if (adjust)
      adjust(config);
    bridge_ = std::make_unique<Bridge>(std::move(controller), config);
    bridge_->attach(blocks_);
    bridge_->watchControls(&controls_);
    cycle();
  }
  void cycle() {
    std::this_thread::sleep_for(5ms);  // the bridge's thread takes a fresh status
    bridge_->beforeCycle(blocks_, 0.025);
  }
  // The commands sent once the bridge's thread has emptied its queue (waited for, up to 3 s: a
  // loaded machine may keep that thread off the processor for a while), and has then sent
  // nothing more for 40 ms.
  std::vector<Sent> settle() {
    for (int i = 0; i < 150 && !bridge_->idle(); ++i)
      std::this_thread::sleep_for(20ms);
    std::size_t count = controller_->sent().size();
    for (int i = 0; i < 30; ++i) {
      std::this_thread::sleep_for(40ms);
      const std::size_t now = controller_->sent().size();
      if (now == count)
        break;
      count = now;
    }
    return controller_->sent();
  }
  std::vector<std::string> messages() {
    cycle();
    return bridge_->takeMessages();
  }
  void writeRecord(int axis, int direction, int speed, bool stop) {
    blocks_.rememberRecords();
    AxisJogRecord& r = blocks_.engine.axisJog[axis];
    r.direction = direction;
    r.jogSpeed = speed;
    r.stopByte = stop ? 1 : 0;
    r.startByte = 1;
  }

  hostsim::HostBlocks blocks_;
  hostsim::PendantControls controls_;
  ScriptedController* controller_ = nullptr;
  std::unique_ptr<Bridge> bridge_;
};

TEST_F(BridgeTest, StepLinesBecomeIncrementalJogsByTheSameDistanceAtTheSameFeed) {
  struct Case {
    const char* line;
    int programUnits;
    std::vector<Sent> expected;  // kind JogIncr: axis, distance (machine mm), speed (mm/s)
    double activeFeed = 60.0;
  };
  const double r = std::hypot(0.0087, 0.0050);
  const Case cases[] = {
      {"G91G1 F100 Z 0.0030", 2, {{Command::Kind::JogIncr, 2, 0.003, 100.0 / 60, ""}}},
      {"G91G1 F25.5000 X -0.0030", 2, {{Command::Kind::JogIncr, 0, -0.003, 25.5 / 60, ""}}},
      // Inch program units on a millimetre machine.
      {"G91G1 F10 Y 0.0100", 1, {{Command::Kind::JogIncr, 1, 0.254, 10.0 / 60 * 25.4, ""}}},
      // No feed word: the F in force (60 per minute).
      {"G91G1 A 0.5000", 2, {{Command::Kind::JogIncr, 3, 0.5, 1.0, ""}}},
      // The rotated step: X and Y together, each at its share of the feed.
      {"G91G1 X0.0087 Y-0.0050 ",
       2,
       {{Command::Kind::JogIncr, 0, 0.0087, 0.0087 / r, ""},
        {Command::Kind::JogIncr, 1, -0.0050, 0.0050 / r, ""}}},
      // A feed above the axis' limit is held to it.
      {"G91G1 F6000 Z 1.0000", 2, {{Command::Kind::JogIncr, 2, 1.0, 25.0, ""}}},
      // No feed at all: DEFAULT_LINEAR_VELOCITY, machine units per second whatever the
      // program units (10 mm/s, not 10 inches).
      {"G91G1 Y 0.0100", 1, {{Command::Kind::JogIncr, 1, 0.254, 10.0, ""}}, 0.0},
      {"G91G1 X 0.5000", 2, {{Command::Kind::JogIncr, 0, 0.5, 10.0, ""}}, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Status status = readyMachine();
    status.programUnits = c.programUnits;
    status.activeFeed = c.activeFeed;
    // Every count moved: this is about the mapping, the bound has its own test.
    make(status, 2000ms, [](BridgeConfig& config) { config.actions.exactSteps = true; });
    bridge_->code(c.line, blocks_);
    bridge_->code("G90", blocks_);
    const std::vector<Sent> sent = settle();
    ASSERT_EQ(sent.size(), c.expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(sent[i].kind, c.expected[i].kind);
      EXPECT_EQ(sent[i].axis, c.expected[i].axis);
      EXPECT_NEAR(sent[i].value, c.expected[i].value, 1e-9);
      EXPECT_NEAR(sent[i].speed, c.expected[i].speed, 1e-9);
    }
    bridge_.reset();
  }
}

TEST_F(BridgeTest, ResetSwitchFollowsTheSwitchAndAnUnplugNeverStartsTheMachine) {
  struct Case {
    const char* what;
    bool estop;
    bool switchOn;
    bool present;
    std::optional<Command::Kind> expected;
  };
  const Case cases[] = {
      {"switch on in E-stop: already there", true, true, true, std::nullopt},
      {"switch off in E-stop: machine on", true, false, true, Command::Kind::EstopResetOn},
      {"switch on while on: E-stop", false, true, true, Command::Kind::EstopOn},
      {"switch off while on: nothing", false, false, true, std::nullopt},
      {"unplugged in E-stop: stays there", true, false, false, std::nullopt},
      {"unplugged while on: E-stop", false, false, false, Command::Kind::EstopOn},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Status status = readyMachine();
    status.estop = c.estop;
    status.machineOn = !c.estop;
    make(status);
    controls_.reset = c.switchOn;
    if (!c.present)
      bridge_->pendantPresence(false);
    // The plug-in repeats the code every cycle until LED 800 agrees.
    for (int i = 0; i < 5; ++i)
      bridge_->doButton(button::kReset);
    std::vector<Sent> sent = settle();
    std::erase_if(sent, [](const Sent& s) { return s.kind == Command::Kind::JogStop; });
    if (c.expected) {
      ASSERT_EQ(sent.size(), 1u);
      EXPECT_EQ(sent[0].kind, *c.expected);
    } else {
      EXPECT_TRUE(sent.empty());
    }
    bridge_.reset();
  }
}

TEST_F(BridgeTest, ARefusedJogIsReportedOnceAndNotRepeatedInALoop) {
  make(readyMachine());
  controller_->refuse(Command::Kind::JogCont);
  for (int i = 0; i < 8; ++i) {
    writeRecord(0, 0, 600 + i, false);
    bridge_->code("DOJOG", blocks_);
    std::this_thread::sleep_for(10ms);
    cycle();
  }
  const std::vector<Sent> sent = settle();
  const auto jogs = std::count_if(sent.begin(), sent.end(),
                                  [](const Sent& s) { return s.kind == Command::Kind::JogCont; });
  EXPECT_EQ(jogs, 1);
  std::vector<std::string> said = bridge_->takeMessages();
  for (const std::string& m : messages())
    said.push_back(m);
  const auto refusals = std::count(said.begin(), said.end(),
                                   "LinuxCNC refused the continuous jog of X: Can't do that now");
  EXPECT_EQ(refusals, 1);
}

TEST_F(BridgeTest, AContinuousJogStopsWhenThePlugInStopsRenewingItOrThePendantGoes) {
  for (const bool unplug : {false, true}) {
    SCOPED_TRACE(unplug ? "unplugged" : "no renewal");
    make(readyMachine());
    writeRecord(1, 1, 1200, false);
    bridge_->code("DOJOG", blocks_);
    std::this_thread::sleep_for(20ms);  // the jog is on its way
    if (unplug) {
      bridge_->pendantPresence(false);
    } else {
      std::this_thread::sleep_for(200ms);
      cycle();
    }
    const std::vector<Sent> sent = settle();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].kind, Command::Kind::JogCont);
    EXPECT_EQ(sent[0].axis, 1);
    EXPECT_NEAR(sent[0].speed, -20.0, 1e-9);  // 1200 per minute, reverse
    EXPECT_EQ(sent[1].kind, Command::Kind::JogStop);
    EXPECT_EQ(sent[1].axis, 1);
    bridge_.reset();
  }
}

TEST_F(BridgeTest, ASilentLinuxcncEndsTheBridgeWithItsJogsStopped) {
  make(readyMachine(), 100ms);
  writeRecord(0, 0, 600, false);
  bridge_->code("DOJOG", blocks_);
  std::this_thread::sleep_for(20ms);
  cycle();
  EXPECT_FALSE(bridge_->lost());
  controller_->freeze();
  for (int i = 0; i < 8 && !bridge_->lost(); ++i) {
    writeRecord(0, 0, 600 + i, false);
    bridge_->code("DOJOG", blocks_);  // the plug-in keeps renewing: only the silence counts
    std::this_thread::sleep_for(25ms);
    cycle();
  }
  EXPECT_TRUE(bridge_->lost());
  const std::vector<Sent> sent = settle();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back().kind, Command::Kind::JogStop);
  EXPECT_EQ(sent.back().axis, 0);
}

TEST_F(BridgeTest, FeedOverrideReadsBackItsOwnWriteBeforeLinuxcncShowsIt) {
  make(readyMachine());
  EXPECT_DOUBLE_EQ(bridge_->dro(dro::kFeedOverride), 100.0);
  bridge_->setDro(dro::kFeedOverride, 110.0);
  EXPECT_DOUBLE_EQ(bridge_->dro(dro::kFeedOverride), 110.0);
  bridge_->setDro(dro::kFeedOverride, 110.0);  // unchanged: nothing more to send
  cycle();                                     // sent with the next cycle
  const std::vector<Sent> sent = settle();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].kind, Command::Kind::FeedScale);
  EXPECT_NEAR(sent[0].value, 1.10, 1e-12);
}

TEST_F(BridgeTest, CodesWithoutAMeaningSaySoOnceAndDoNothing) {
  make(readyMachine());
  for (int i = 0; i < 3; ++i) {
    bridge_->doButton(160);
    bridge_->doButton(336);
  }
  EXPECT_TRUE(settle().empty());
  // 160 says so once; the mode and axis codes (334-339) come with every start and every
  // knob turn, and are silent.
  const std::vector<std::string> said = messages();
  EXPECT_EQ(said.size(), 1u);
}

TEST_F(BridgeTest, LedsFollowLinuxcncsState) {
  struct Case {
    const char* what;
    bool on;
    bool homed;
    TaskMode mode;
    Interp interp;
    bool lit800, lit804, lit83;
  };
  const Case cases[] = {
      {"on, homed, idle", true, true, TaskMode::Manual, Interp::Idle, false, false, true},
      {"not homed", true, false, TaskMode::Manual, Interp::Idle, false, false, false},
      {"program runs", true, true, TaskMode::Auto, Interp::Reading, false, true, false},
      // An MDI command runs: the plug-in must hold its jogs, which would abort it.
      {"MDI runs", true, true, TaskMode::Mdi, Interp::Reading, false, true, false},
      {"MDI mode, idle", true, true, TaskMode::Mdi, Interp::Idle, false, false, true},
      {"machine off", false, true, TaskMode::Manual, Interp::Idle, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Status status = readyMachine();
    status.machineOn = c.on;
    status.homed[2] = c.homed;
    status.mode = c.mode;
    status.interp = c.interp;
    make(status);
    EXPECT_EQ(bridge_->led(led::kReset), c.lit800);
    EXPECT_EQ(bridge_->led(led::kCycleRunning), c.lit804);
    EXPECT_EQ(bridge_->led(led::kJogAllowed), c.lit83);
    bridge_.reset();
  }
}

// Around a step line the plug-in sets the feed override to 100 % and later puts it back:
// LinuxCNC's jogs ignore the override, so LinuxCNC's own never flicks.
TEST_F(BridgeTest, AStepBurstLeavesLinuxcncsFeedOverrideAlone) {
  Status status = readyMachine();
  status.feedScale = 0.5;
  make(status);
  for (int i = 0; i < 3; ++i) {
    cycle();
    bridge_->setDro(dro::kFeedOverride, 100.0);
    EXPECT_DOUBLE_EQ(bridge_->dro(dro::kFeedOverride), 100.0);
    bridge_->code("G91G1 F100 X 0.0100", blocks_);
  }
  cycle();
  bridge_->setDro(dro::kFeedOverride, 50.0);  // the restore
  cycle();
  for (const Sent& s : settle())
    EXPECT_FALSE(s.kind == Command::Kind::FeedScale && s.value != 0.5) << s.value;
}

// A spin faster than the axis can follow: by default the outstanding travel stays what the
// axis covers in the rest budget, the excess is dropped (whole counts) and said once; with
// step-mode = exact every count goes to LinuxCNC.
TEST_F(BridgeTest, StepTravelOutstandingIsBoundedUnlessExactStepsAreAsked) {
  struct Case {
    const char* what;
    bool exact;
    double step;  // per count
    const char* line;
    double maxSent;  // total distance LinuxCNC may get while the axis has not moved
    double minSent;
  };
  // Step 0.1 at F100 (1.667 mm/s, 500 mm/s^2): 1.667 * (0.4 - 1.667 / 500) = 0.661 -> 6 counts.
  // No feed, default 10 mm/s: 10 * (0.4 - 0.02) = 3.8 mm -> 380 counts of 0.01.
  const Case cases[] = {
      {"bounded, step 0.1 F100", false, 0.1, "G91G1 F100 X 1.0000", 0.6, 0.6},
      {"bounded, step 0.01, default speed", false, 0.01, "G91G1 X 0.1000", 3.8, 3.8},
      {"exact, step 0.1 F100", true, 0.1, "G91G1 F100 X 1.0000", 40.0, 40.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Status status = readyMachine();
    status.activeFeed = 0.0;
    make(status, 2000ms, [&](BridgeConfig& config) { config.actions.exactSteps = c.exact; });
    bridge_->setDro(dro::kStepSize, c.step);
    controller_->moveAxis(0, 0.0, 1.0);  // moving, not yet anywhere
    for (int i = 0; i < 40; ++i) {
      bridge_->code(c.line, blocks_);
      bridge_->code("G90", blocks_);
    }
    const std::vector<Sent> sent = settle();
    double total = 0.0;
    for (const Sent& s : sent) {
      ASSERT_EQ(s.kind, Command::Kind::JogIncr);
      total += s.value;
      // Whole counts only.
      EXPECT_NEAR(std::round(s.value / c.step) * c.step, s.value, 1e-9);
    }
    EXPECT_GE(total, c.minSent - 1e-9);
    EXPECT_LE(total, c.maxSent + 1e-9);
    cycle();
    // DRO 22 counts the travel still to go in lines, so the plug-in's own rule can engage.
    EXPECT_GE(bridge_->dro(dro::kQueueDepth), 1.0);
    std::vector<std::string> said = bridge_->takeMessages();
    const auto drops = std::count_if(said.begin(), said.end(), [](const std::string& m) {
      return m.find("wheel counts dropped") != std::string::npos;
    });
    EXPECT_EQ(drops, c.exact ? 0 : 1);

    // The axis arrives: the next count moves again, and the burst may be told again.
    controller_->moveAxis(0, total, 0.0);
    std::this_thread::sleep_for(20ms);
    bridge_->code(c.line, blocks_);
    const std::vector<Sent> after = settle();
    ASSERT_GT(after.size(), sent.size());
    EXPECT_GT(after.back().value, 0.0);
    bridge_.reset();
  }
}

// A rotated step moves X and Y together: the bound keeps or drops the same counts on both, so
// what moves stays on the line's path.
TEST_F(BridgeTest, TheBoundKeepsARotatedStepOnItsPath) {
  // F in force 60: 1 mm/s along the line. Y accelerates slowly, so Y's bound is the tighter.
  make(readyMachine(), 2000ms, [](BridgeConfig& config) { config.maxAcceleration[1] = 3; });
  bridge_->setDro(dro::kStepSize, 0.1);
  controller_->moveAxis(0, 0.0, 1.0);
  controller_->moveAxis(1, 0.0, 1.0);
  for (int i = 0; i < 20; ++i)
    bridge_->code("G91G1 X0.0866 Y-0.0500 ", blocks_);
  double x = 0.0;
  double y = 0.0;
  for (const Sent& s : settle())
    (s.axis == 0 ? x : y) += s.value;
  // X alone would keep 0.866 * (0.4 - 0.866 / 500) = 0.345 mm, three lines; Y at 0.5 mm/s
  // and 3 mm/s^2 keeps 0.5 * (0.4 - 0.5 / 3) = 0.117 mm, two lines: two for both.
  EXPECT_NEAR(x, 2 * 0.0866, 1e-9);
  EXPECT_NEAR(y, 2 * -0.0500, 1e-9);
}

// A stalled LinuxCNC: no answer yet is not a refusal, nothing is held off, and no command is
// written over one LinuxCNC has not taken yet.
TEST_F(BridgeTest, AStalledLinuxcncLosesNoStepLine) {
  make(readyMachine(), 3000ms);
  bridge_->setDro(dro::kStepSize, 0.01);
  controller_->moveAxis(0, 0.0, 1.0);
  controller_->stall(true);
  for (int i = 0; i < 5; ++i) {
    bridge_->code("G91G1 F600 X 0.0500", blocks_);
    std::this_thread::sleep_for(20ms);
  }
  std::this_thread::sleep_for(700ms);
  EXPECT_EQ(controller_->writtenWhileStalled(), 1);
  cycle();
  EXPECT_GE(bridge_->dro(dro::kQueueDepth), 4.0);  // the plug-in holds its lines back
  controller_->stall(false);
  const std::vector<Sent> sent = settle();
  ASSERT_EQ(sent.size(), 5u);
  for (const Sent& s : sent)
    EXPECT_NEAR(s.value, 0.05, 1e-9);
  for (const std::string& m : messages())
    EXPECT_EQ(m.find("refused"), std::string::npos) << m;
}

// LinuxCNC's task takes any override; the bridge holds them to the INI's [DISPLAY] limits and
// reads back the value it sent.
TEST_F(BridgeTest, OverridesAreHeldToTheDisplayLimits) {
  struct Case {
    int dro;
    double written;
    double expected;  // percent
  };
  const Case cases[] = {
      {dro::kFeedOverride, 250.0, 120.0},
      {dro::kFeedOverride, 80.0, 80.0},
      {dro::kSpindleTrim, 250.0, 100.0},
      {dro::kSpindleTrim, 25.0, 50.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.dro) + " <- " + std::to_string(c.written));
    make(readyMachine(), 2000ms, [](BridgeConfig& config) {
      config.maxFeedOverride = 1.2;
      config.maxSpindleOverride = 1.0;
      config.minSpindleOverride = 0.5;
    });
    bridge_->setDro(c.dro, c.written);
    EXPECT_DOUBLE_EQ(bridge_->dro(c.dro), c.expected);
    cycle();
    const std::vector<Sent> sent = settle();
    if (c.expected == 100.0) {
      EXPECT_TRUE(sent.empty());  // already there
    } else {
      ASSERT_EQ(sent.size(), 1u);
      EXPECT_NEAR(sent[0].value, c.expected / 100.0, 1e-12);
    }
    bridge_.reset();
  }
}

// While an MDI command or a program runs, nothing of the bridge's changes LinuxCNC's mode.
TEST_F(BridgeTest, ABusyInterpreterKeepsItsMode) {
  for (const TaskMode mode : {TaskMode::Mdi, TaskMode::Auto}) {
    Status status = readyMachine();
    status.mode = mode;
    status.interp = Interp::Reading;
    make(status, 2000ms, [](BridgeConfig& config) {
      config.jointsKnown = true;
      config.axisJoints = {{{0}, {1}, {2}, {3}, {}, {}}};
    });
    bridge_->code("G91G1 F100 X 0.0100", blocks_);
    bridge_->doButton(button::kRefBase);
    const std::vector<Sent> sent = settle();
    EXPECT_TRUE(sent.empty());
    const std::vector<std::string> said = messages();
    ASSERT_EQ(said.size(), 2u);
    for (const std::string& m : said)
      EXPECT_NE(
          m.find(mode == TaskMode::Mdi ? "while an MDI command runs" : "while a program runs"),
          std::string::npos)
          << m;
    bridge_.reset();
  }
}

// The units toggle is an MDI line that changes a setting: LinuxCNC returns to manual mode
// once it has run, where the pendant jogs.
TEST_F(BridgeTest, TheUnitsToggleLeavesLinuxcncInManualMode) {
  make(readyMachine());
  bridge_->doButton(106);
  std::vector<Sent> sent = settle();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].kind, Command::Kind::Mdi);
  EXPECT_EQ(sent[0].text, "G20");
  std::this_thread::sleep_for(400ms);
  Status status;
  controller_->readStatus(status);
  EXPECT_EQ(status.mode, TaskMode::Manual);
}

// A jog of an axis the machine lacks is refused where the operator sees it.
TEST_F(BridgeTest, AJogOfAMissingAxisSaysSo) {
  Status status = readyMachine();
  status.axisMask = 0x7;  // X Y Z
  make(status);
  writeRecord(3, 0, 600, false);
  bridge_->code("DOJOG", blocks_);
  bridge_->code("G91G1 F100 A 0.0100", blocks_);
  EXPECT_TRUE(settle().empty());
  const std::vector<std::string> said = messages();
  ASSERT_EQ(said.size(), 2u);
  EXPECT_EQ(said[0], "Jog refused: this machine has no axis A");
  EXPECT_EQ(said[1], "Step jog refused: this machine has no axis A");
}

// Ref X-A homes every joint of the axis, as the kinematics maps them; without a mapping the
// bridge refuses and says why.
TEST_F(BridgeTest, ReferencingAnAxisHomesItsJoints) {
  make(readyMachine(), 2000ms, [](BridgeConfig& config) {
    config.jointsKnown = true;
    config.axisJoints = {{{0}, {1, 2}, {3}, {}, {}, {}}};
  });
  bridge_->doButton(button::kRefBase + 1);  // Y of an XYYZ gantry
  bridge_->doButton(button::kRefBase + 2);  // Z
  std::vector<Sent> sent = settle();
  std::vector<int> homed;
  for (const Sent& s : sent) {
    if (s.kind == Command::Kind::Home)
      homed.push_back(s.axis);
  }
  EXPECT_EQ(homed, (std::vector<int>{1, 2, 3}));
  bridge_.reset();

  make(readyMachine(), 2000ms, [](BridgeConfig& config) { config.kinematics = "maxkins"; });
  bridge_->doButton(button::kRefBase);
  EXPECT_TRUE(settle().empty());
  const std::vector<std::string> said = messages();
  ASSERT_EQ(said.size(), 1u);
  EXPECT_NE(said[0].find("Ref X refused"), std::string::npos);
}

}  // namespace
}  // namespace k4::lcnc
