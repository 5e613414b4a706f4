#include "platform/shell_choice.h"

DirectoryShell DirectoryShellFor(const ShellProtocols& offered) {
  const bool olderStarted = offered.InterfaceOnImage && !offered.ParametersOnImage;
  if (olderStarted && offered.OlderEnvironmentInSystem) return DirectoryShell::Older;
  if (offered.NewerShellInSystem) return DirectoryShell::Newer;
  if (offered.OlderEnvironmentInSystem) return DirectoryShell::Older;
  return DirectoryShell::None;
}
