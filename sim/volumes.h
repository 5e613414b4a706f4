// Host directories as FAT volumes: UEFI paths (UCS-2, backslashes) resolved
// to host paths the way the FAT driver finds names: case-insensitive, keeping
// the case that is stored.
#pragma once

#include <string>
#include <vector>

#include "sim/host_state.h"

namespace sim {

struct ResolvedPath {
  EfiStatus Status = kEfiSuccess;   // kEfiNotFound: a folder on the way is missing
  std::vector<std::string> Parts;   // host names from the volume root, existing ones only
  bool Exists = false;              // the last component exists (then Parts ends with it)
  bool Directory = false;           // it is a directory
  std::string MissingLeaf;          // when !Exists: the last component as given (UTF-8)
};

// Resolves path relative to the directory `from` (a leading backslash starts
// at the volume root; repeated backslashes count as one; "." and ".." work).
ResolvedPath ResolvePath(const FsVolume& volume, const std::vector<std::string>& from, const std::u16string& path);

// The host path of a list of parts on a volume.
std::string HostPathOf(const FsVolume& volume, const std::vector<std::string>& parts);

// True for a name the FAT driver would accept for a new file.
bool ValidNewName(const std::string& name);

}  // namespace sim
