// What the program left behind: pool memory not freed, file handles not
// closed, and misuse (frees of pointers the pool never gave, calls on closed
// handles).
#include <algorithm>
#include <cstdio>

#include "sim/host_state.h"

namespace sim {

Audit TakeAudit() {
  Audit audit;
  std::vector<std::pair<uint64_t, size_t>> held;
  for (const auto& entry : gHost.Allocations) held.emplace_back(entry.second.CallNumber, entry.second.Size);
  std::sort(held.begin(), held.end());
  char line[128];
  for (const auto& h : held) {
    std::snprintf(line, sizeof(line), "allocation #%llu of %zu bytes not freed", static_cast<unsigned long long>(h.first),
                  h.second);
    audit.Details.push_back(line);
  }
  audit.OpenAllocations = held.size();
  for (FsFile* file : gHost.OpenFiles) {
    std::string path = "FS" + std::to_string(file->Volume->Index) + ":";
    for (const auto& part : file->Parts) path += "\\" + part;
    if (file->Parts.empty()) path += "\\";
    audit.Details.push_back("file handle " + path + " not closed");
  }
  audit.OpenFiles = gHost.OpenFiles.size();
  audit.Misuse = gHost.Misuse.size();
  for (const auto& m : gHost.Misuse) audit.Details.push_back(m);
  return audit;
}

}  // namespace sim
