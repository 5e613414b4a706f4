// The shell's side on the simulated machine: arguments and current directory.
#include "platform/platform.h"
#include "platform/shell_choice.h"
#include "sim/host_state.h"

EfiStatus ShellParametersArgs(size_t* argc, Char16*** argv) {
  if (sim::gMachine.Config.Shell != sim::ShellKind::Parameters) return kEfiUnsupported;
  *argc = sim::gHost.ArgStore.size();
  *argv = sim::gHost.ArgPointers.data();
  return kEfiSuccess;
}

EfiStatus ShellInterfaceArgs(size_t* argc, Char16*** argv) {
  if (sim::gMachine.Config.Shell != sim::ShellKind::InterfaceOnly) return kEfiUnsupported;
  *argc = sim::gHost.ArgStore.size();
  *argv = sim::gHost.ArgPointers.data();
  return kEfiSuccess;
}

// The newer shell installs its shell protocol beside the parameters
// protocol; an older shell its environment, unless the fault takes it away,
// and a newer shell that started it stays installed with its own directory.
// The program's decision is platform/shell_choice.h, as on the firmware.
const Char16* ShellCurrentDirectory() {
  const sim::MachineConfig& config = sim::gMachine.Config;
  const bool parameters = config.Shell == sim::ShellKind::Parameters;
  const bool interface = config.Shell == sim::ShellKind::InterfaceOnly;
  const ShellProtocols offered{parameters, interface, parameters || config.OuterShellDirectory.has_value(),
                               interface && !config.Fault.NoShellEnvironment};
  const Char16* own = sim::gHost.HasCurrentDirectory ? sim::gHost.CurrentDirectory.c_str() : nullptr;
  switch (DirectoryShellFor(offered)) {
    case DirectoryShell::Newer:
      return parameters ? own : config.OuterShellDirectory->c_str();
    case DirectoryShell::Older:
      return own;
    case DirectoryShell::None:
      break;
  }
  return nullptr;
}

void PlatformNoteExitCode(int code) { sim::gMachine.ExitCode = code; }
