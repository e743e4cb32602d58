// virtualkey.exe: changes the virtual key's state between the tool's calls
// and, for plug and unplug, tells the running tool as Windows would.
#include <cstdio>
#include <string>
#include <vector>

#include "virtualkey/control_commands.h"
#include "virtualkey/device_change_notice.h"
#include "virtualkey/state_file.h"
#include "virtualkey/state_location_win.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Failed(const std::string& problem) {
  std::fprintf(stderr, "virtualkey: %s\n", problem.c_str());
  return kExitFailed;
}

void ReportNotice(bool arrived, const DeviceChangeNotice& notice) {
  const char* event = arrived ? "DBT_DEVICEARRIVAL" : "DBT_DEVICEREMOVECOMPLETE";
  if (notice.windowsFound == 0) {
    std::printf("No tool window is open; %s was not sent.\n", event);
    return;
  }
  std::printf("Sent WM_DEVICECHANGE %s to %d tool window(s); %d answered.\n", event, notice.windowsFound,
              notice.windowsAnswered);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const ParsedControlCommand parsed = ParseControlCommand(arguments);
  if (!parsed.command) {
    std::fprintf(stderr, "virtualkey: %s\nRun \"virtualkey --help\" for the commands.\n", parsed.error.c_str());
    return kExitUsage;
  }
  const ControlCommand& command = *parsed.command;
  if (command.action == ControlAction::Help) {
    std::fputs(ControlHelpText(), stdout);
    return kExitDone;
  }

  const auto statePath = VirtualKeyStatePath(nullptr);
  if (!statePath) return Failed("cannot find the folder of virtualkey.exe");
  const StateFile file(*statePath);
  KeyState state;
  std::string problem;
  if (command.action == ControlAction::Show) {
    if (file.Load(state, problem) != StateLoadOutcome::Loaded) return Failed(problem);
    std::printf("State file: %s\n%s", statePath->u8string().c_str(), DescribeKeyState(state).c_str());
    return kExitDone;
  }
  if (!ApplyControlCommandToFile(command, file, state, problem)) return Failed(problem);
  std::printf("%s (state file %s)\n", AppliedCommandSummary(command).c_str(), statePath->u8string().c_str());

  if (command.action == ControlAction::Plug || command.action == ControlAction::Unplug) {
    const bool arrived = command.action == ControlAction::Plug;
    ReportNotice(arrived, NotifyToolOfDeviceChange(arrived, state.serialNumber));
  }
  std::fflush(stdout);
  return kExitDone;
}
