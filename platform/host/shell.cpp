// The shell's side on the simulated machine: arguments and current directory.
#include "platform/platform.h"
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

// The newer shell protocol comes with the parameters protocol. The older
// shell (interface only) gives the current directory through its environment
// protocol, when it has one; the firmware backend keeps that copy for the run,
// so here the shell's own string stands for it. No shell, no directory.
const Char16* ShellCurrentDirectory() {
  if (!sim::gHost.HasCurrentDirectory) return nullptr;
  switch (sim::gMachine.Config.Shell) {
    case sim::ShellKind::Parameters:
      return sim::gHost.CurrentDirectory.c_str();
    case sim::ShellKind::InterfaceOnly:
      return sim::gMachine.Config.Fault.NoShellEnvironment ? nullptr : sim::gHost.CurrentDirectory.c_str();
    case sim::ShellKind::None:
      break;
  }
  return nullptr;
}

void PlatformNoteExitCode(int code) { sim::gMachine.ExitCode = code; }
