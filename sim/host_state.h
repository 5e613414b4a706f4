// The machine's inside, shared by sim/ and its host backend of platform.h:
// the pool records, the open file handles, call counters for fault
// injection, the shell's strings and the jump that ends a run when the
// machine switches off. Host-only; product code never sees it.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "sim/machine.h"

// A volume: one host directory behind FSn:.
struct FsVolume {
  size_t Index;
  std::string Root;  // host directory, no trailing slash
};

// An open file or directory on a volume.
struct FsFile {
  FsVolume* Volume = nullptr;
  std::vector<std::string> Parts;  // host names from the volume root down
  std::u16string OpenedAs;         // the path as the program passed it
  bool Directory = false;
  bool Root = false;
  bool Writable = false;
  int Fd = -1;                     // regular files only
  uint64_t Position = 0;           // directories: index of the next entry
};

namespace sim {

struct AllocationRecord {
  size_t Size;
  uint64_t CallNumber;
};

// Numbers of the calls made so far (for faults "the n-th call fails").
struct CallCounters {
  uint64_t Alloc = 0, Open = 0, Create = 0, GetInfo = 0, Read = 0, Write = 0, Close = 0, Delete = 0,
           SetInfo = 0, ReadKey = 0;
};

struct HostState {
  std::unordered_map<void*, AllocationRecord> Allocations;
  std::unordered_set<FsFile*> OpenFiles;
  std::vector<std::unique_ptr<FsVolume>> Volumes;
  std::vector<std::string> Misuse;  // frees of unknown pointers, calls on closed handles
  CallCounters Calls;
  size_t NextKey = 0;
  std::vector<std::u16string> ArgStore;
  std::vector<Char16*> ArgPointers;
  std::u16string CurrentDirectory;
  bool HasCurrentDirectory = false;
  uint64_t PowerCutAt = UINT64_MAX;  // port op count at which power goes
  uint32_t EmptyReadsInARow = 0;     // Reads that asked for bytes and got none
  size_t EventsSeen = 0;             // EC events already looked at for a power-off
  std::vector<std::string> MachineEvents;  // events of the machine itself (power cut, no key left)
  bool Running = false;
  std::jmp_buf Jump;
  // Called after every console call (tarnwick-sim draws the console live).
  std::function<void(const ConsoleCall&)> ConsoleObserver;
  // Asked for one more key when the configured ones are used up (tarnwick-sim
  // on a terminal reads the keyboard); false: there is none.
  std::function<bool(InputKey*)> KeySource;

  // At process exit whatever the last run left is given back, so that leak
  // checkers report the program's leaks through TakeAudit, not here.
  ~HostState();
};

extern Machine gMachine;
extern HostState gHost;

// Ends the run from inside a firmware call: the machine is off. Outside
// RunTarnwick it only records that and returns.
void EndRunPoweredOff(const char* event);

// Frees everything the program still held (after the machine went off the
// program never gets to clean up, so nothing is held against it).
void ReleaseProgramResources();

// UTF-16 <-> UTF-8 for names and console text.
std::string ToUtf8(const std::u16string& text);
std::u16string FromUtf8(const std::string& text);
// ASCII case folding as the FAT driver compares names.
bool SameNameIgnoringCase(const std::u16string& a, const std::u16string& b);

}  // namespace sim
