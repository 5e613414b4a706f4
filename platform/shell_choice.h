// Which shell's current directory a run takes.
//
// A newer shell leaves its protocol installed while it runs an older shell,
// so finding the newer shell protocol in the system does not mean the newer
// shell started this program. What is on the image handle tells: the older
// shell puts only its shell interface there, the newer one its parameters
// protocol.
#pragma once

enum class DirectoryShell { Newer, Older, None };

// What the firmware offers when the program asks.
struct ShellProtocols {
  bool ParametersOnImage;       // EFI_SHELL_PARAMETERS_PROTOCOL on the image handle
  bool InterfaceOnImage;        // the older EFI_SHELL_INTERFACE on the image handle
  bool NewerShellInSystem;      // EFI_SHELL_PROTOCOL, found by LocateProtocol
  bool OlderEnvironmentInSystem;  // the older shell's environment (its CurDir)
};

// The older shell started the program (its interface on the image handle,
// no parameters protocol): its environment first, then the newer shell.
// Otherwise the newer shell first, then the older environment. None when
// neither is installed.
[[nodiscard]] DirectoryShell DirectoryShellFor(const ShellProtocols& offered);
