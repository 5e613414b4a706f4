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

const Char16* ShellCurrentDirectory() {
  return sim::gHost.HasCurrentDirectory ? sim::gHost.CurrentDirectory.c_str() : nullptr;
}

void PlatformNoteExitCode(int code) { sim::gMachine.ExitCode = code; }
