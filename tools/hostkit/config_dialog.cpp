#include "config_dialog.h"

#include <cstdio>

#include "host_sim.h"
#include "plugin_module.h"
#include "profile_file.h"
#include "scenario_file.h"

namespace k4::hostsim {

namespace {

class QuietSink final : public EventSink {
 public:
  void event(const HostEvent&) override {}
};

}  // namespace

int runConfigDialog(const Options& options, HostModel& model, const std::string& program) {
  const std::string configCommand = program + " --config --profile " + options.profile;
  const ProfileDiagnosis before = diagnoseProfile(options.profile, true, configCommand);
  if (!before.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), before.error.c_str());
    return kUsageError;
  }
  std::string error;
  PluginModule plugin;
  ProfileFile profile;
  if (!plugin.load(options.plugin, error) || !profile.open(options.profile, error)) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
    return kUsageError;
  }
  if (!before.warning.empty() && !before.fresh)
    std::printf("%s: %s\n", program.c_str(), before.warning.c_str());
  QuietSink sink;
  HostSimulator sim(plugin.entry(), profile, {}, sink, model);
  sim.pendant().setPresent(false);
  sim.view().setDialog(nullptr);
  if (!sim.start({}, error)) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
    return 1;
  }
  sim.config({});
  sim.stop();
  std::fflush(stdout);
  // The plug-in writes every setting when the dialog closes, however it was closed: a profile
  // without them now was not written.
  if (profile.readSetting("AutoMode", -1) == -1) {
    std::fprintf(stderr, "%s: the settings did not reach the profile %s; nothing was saved\n",
                 program.c_str(), options.profile.c_str());
    return 1;
  }
  std::printf("%s: settings are kept in %s\n", program.c_str(), options.profile.c_str());
  return 0;
}

}  // namespace k4::hostsim
