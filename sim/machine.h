// The simulated machine behind sim/host_backend: EC, volumes, console, keys,
// clock, shell, fault injection and an audit of what the program left open.
//
// Host-only code (the full C++ library is fine here). Tests build a
// MachineConfig, Boot() it, run the program with RunTarnwick(), and then look
// at the machine: the port trace, the console, the volumes and the EC.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/ec_model.h"

namespace sim {

enum class ShellKind { Parameters, InterfaceOnly, None };
enum class PowerOffMode { Stay, Halt };

struct PortAccess {
  bool Write;
  uint16_t Port;
  uint8_t Value;
  uint64_t TimeUs;  // virtual time of the access
};

// Everything the firmware can be told to fail. Call counters count from 1
// since Boot(); 0 means "never".
struct Faults {
  bool NoFileSystem = false;                    // LocateProtocol / LocateHandleBuffer find nothing
  EfiStatus LocateHandlesStatus = kEfiSuccess;  // a failing LocateHandleBuffer status (error: fails)
  std::vector<int> OpenVolumeFails;             // volume indexes whose OpenVolume fails
  std::map<std::u16string, EfiStatus> OpenFails;  // path (as passed, case-insensitive) -> Open status
  EfiStatus GetInfoStatus = kEfiSuccess;        // every GetInfo answers this error (if an error)
  std::optional<uint64_t> GetInfoFileSize;      // FileSize to report (may be >= 4 GiB)
  std::optional<size_t> GetInfoRecordSize;      // the record size the first GetInfo reports
  int GetInfoFailCall = 0;                      // the n-th GetInfo fails with kEfiDeviceError
  int ReadFailCall = 0;                         // the n-th Read fails with kEfiDeviceError
  std::optional<size_t> ReadShortBytes;         // every Read delivers at most this many bytes
  std::optional<uint64_t> ReadStopAt;           // a Read delivers nothing at or past this file offset
  int WriteFailCall = 0;                        // the n-th Write fails with kEfiDeviceError
  std::optional<size_t> WriteShortBytes;        // every Write stores at most this many bytes
  int CloseFailCall = 0;                        // the n-th Close fails (the handle is closed all the same)
  std::u16string CloseFailPath;                 // Close of this path fails (case-insensitive)
  int DeleteFailCall = 0;                       // the n-th Delete leaves the file (warning status)
  int SetInfoFailCall = 0;                      // the n-th SetInfo fails
  int AllocFailCall = 0;                        // the n-th AllocatePool answers nullptr
  std::optional<size_t> AllocFailMinSize;       // every AllocatePool of at least this size fails
  bool GetTimeFails = false;                    // GetTime answers kEfiDeviceError and leaves the record
  int ReadKeyFailsFirst = 0;                    // the first n ReadKeyStroke calls answer kEfiNotReady
  std::u16string CreateFailPath;                // Open with create of this path fails (case-insensitive)
  int CreateFailCall = 0;                       // the n-th Open with create fails with kEfiAccessDenied
  bool NoShellEnvironment = false;              // the older shell lacks its environment protocol (no directory)
  int64_t PowerCutAfterPortOps = -1;            // >= 0: the machine loses power after that many port ops
};

struct MachineConfig {
  EcConfig Ec;                             // EcConfigDefaults() unless changed
  std::vector<uint8_t> Flash;              // initial flash contents (empty: all 0xFF)
  std::vector<std::string> Volumes;        // host directories: FS0:, FS1:, ...
  // What the shell reports right after "fs0:" (no backslash at a root; deeper
  // it is e.g. FS0:\EC\TOOLS); nullopt: the shell has none yet.
  std::optional<std::u16string> CurrentDirectory = u"FS0:";
  std::vector<std::u16string> Args;        // Argv[1] onward
  std::u16string Argv0 = u"FS0:\\tarnwick.efi";  // the shell passes the full path
  ShellKind Shell = ShellKind::Parameters;
  // An older shell (InterfaceOnly) started from a newer one: the newer shell
  // stays installed in the system with this current directory.
  std::optional<std::u16string> OuterShellDirectory;
  size_t Columns = 100, Rows = 31;
  EfiTime Time{2026, 12, 7, 10, 30, 45, 0, 0, 0, 0, 0};
  std::vector<InputKey> Keys;              // fed in order to ReadKeyStroke
  Faults Fault;
  bool TraceEnabled = true;
  bool RealTime = false;                   // Stall really sleeps
  PowerOffMode PowerOff = PowerOffMode::Stay;

  MachineConfig();                         // fills Ec with EcConfigDefaults
};

// One call the program made on the console, in order.
struct ConsoleCall {
  enum class Kind { Text, Attribute, Clear, Cursor, CursorVisible } What;
  std::u16string Text;     // Text: the string as written
  size_t Attribute = 0;    // Text: the attribute in force; Attribute: the new one
  size_t Column = 0, Row = 0;  // Cursor
  bool Visible = false;    // CursorVisible
  EfiStatus Status = kEfiSuccess;  // Cursor: what SetCursorPosition answered
};

struct ScreenCell {
  char16_t Char = u' ';
  size_t Attribute = 0x07;
};

struct Console {
  std::vector<ConsoleCall> Calls;
  std::vector<std::vector<ScreenCell>> Screen;  // [row][column]
  size_t Scrolled = 0;                          // rows that scrolled off the top so far
  std::vector<std::vector<ScreenCell>> ScrolledRows;  // the last of them (at most Rows), oldest first
  size_t Columns = 100, Rows = 31;
  size_t CursorColumn = 0, CursorRow = 0;
  size_t Attribute = 0x07;
  bool CursorVisible = true;

  std::u16string Plain() const;          // every character written, in order (backspaces included)
  std::string PlainUtf8() const;         // the same as UTF-8
  std::string Row(size_t row) const;     // one screen row, trailing blanks cut (UTF-8)
  std::string ScreenText() const;        // all rows, one per line, trailing blanks cut
  size_t AttributeAt(size_t column, size_t row) const;
};

struct Audit {
  size_t OpenAllocations = 0;   // allocations not freed
  size_t OpenFiles = 0;         // file handles not closed
  size_t Misuse = 0;            // frees of unknown pointers, calls on closed or unknown handles
  std::vector<std::string> Details;  // one line per leftover, for failure messages
  bool Clean() const { return OpenAllocations == 0 && OpenFiles == 0 && Misuse == 0; }
};

struct Machine {
  MachineConfig Config;
  EcModel* Ec = nullptr;
  std::vector<PortAccess> Trace;
  uint64_t PortOps = 0;
  Console Screen;
  uint64_t NowUs = 0;               // virtual clock
  std::vector<uint64_t> Stalls;     // every Stall's microseconds, in order
  std::vector<uint64_t> StallPortOps;  // the port accesses made before each of them
  std::vector<uint64_t> WatchdogDisabledAt;  // port ops made before each PlatformDisableWatchdog
  bool PoweredOff = false;          // PowerOffMode::Halt ended the run, or the power was cut
  bool PowerCut = false;
  size_t KeyWaits = 0;
  bool KeysExhausted = false;       // the program waited for a key when none was left (the run ended)
  bool ReadsStalled = false;        // the program kept reading a file that delivered nothing (the run ended)
  EfiStatus ExitStatus = kEfiSuccess;
  int ExitCode = -1;                // FlashAppMain's code as the entry reported it (-1: not reported)
};

// Sets up a fresh machine (the previous one is discarded).
void Boot(const MachineConfig& config);
Machine& TheMachine();
// Runs the program's entry once, as the shell would start it. Returns the
// image status; when the machine powers off (Halt) or loses power, it
// returns there and TheMachine().PoweredOff is set.
EfiStatus RunTarnwick();
// What the program left behind (allocations, open files) since Boot().
Audit TakeAudit();
// The EC flash as it is now.
std::vector<uint8_t> FlashContents();
// The machine events as the tool's summary names them ("watchdog-disarmed" for
// the firmware's watchdog, "power-off", "auto-power-on:5", "watchdog-reset:3"
// for the EC's, "flash-mode-entered", "flash-mode-left").
std::vector<std::string> EventNames();

// After Boot: where ConWaitForKey gets a key once MachineConfig::Keys are
// used up (tarnwick-sim reads the terminal). Without one, or when it answers
// false, the run ends with KeysExhausted set.
void SetKeySource(std::function<bool(InputKey*)> source);

// Helpers for tests.
std::vector<InputKey> KeysFromText(const std::u16string& text);  // \r Enter, \x1b Escape
std::string ReadHostFile(const std::string& path);
void WriteHostFile(const std::string& path, const std::string& bytes);

}  // namespace sim
