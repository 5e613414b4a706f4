#include "sim/volumes.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace sim {

namespace {

// The stored name that matches wanted without regard to case; an exact match
// wins when the host directory holds names differing only in case.
bool FindEntry(const std::string& directory, const std::string& wanted, std::string* found) {
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return false;
  std::u16string wanted16 = FromUtf8(wanted);
  std::vector<std::string> matches;
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (name == wanted) {
      matches.assign(1, name);
      break;
    }
    if (SameNameIgnoringCase(FromUtf8(name), wanted16)) matches.push_back(name);
  }
  closedir(dir);
  if (matches.empty()) return false;
  std::sort(matches.begin(), matches.end());
  *found = matches.front();
  return true;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string HostPathOf(const FsVolume& volume, const std::vector<std::string>& parts) {
  std::string path = volume.Root;
  for (const auto& part : parts) path += "/" + part;
  return path;
}

bool ValidNewName(const std::string& name) {
  if (name.empty() || name.size() > 255) return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|') {
      return false;
    }
  }
  return name.find_first_not_of(". ") != std::string::npos;
}

ResolvedPath ResolvePath(const FsVolume& volume, const std::vector<std::string>& from, const std::u16string& path) {
  ResolvedPath result;
  std::vector<std::string> parts = (!path.empty() && path[0] == u'\\') ? std::vector<std::string>() : from;
  std::vector<std::u16string> components;
  std::u16string current;
  for (char16_t c : path) {
    if (c == u'\\') {
      if (!current.empty()) components.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) components.push_back(current);

  result.Exists = true;
  result.Directory = true;
  for (size_t i = 0; i < components.size(); ++i) {
    const std::u16string& component = components[i];
    bool last = i + 1 == components.size();
    if (!result.Directory) {  // a file cannot hold anything
      result.Status = kEfiNotFound;
      return result;
    }
    if (component == u".") continue;
    if (component == u"..") {
      if (parts.empty()) {
        result.Status = kEfiNotFound;
        return result;
      }
      parts.pop_back();
      continue;
    }
    std::string wanted = ToUtf8(component);
    std::string found;
    if (!FindEntry(HostPathOf(volume, parts), wanted, &found)) {
      if (!last) {
        result.Status = kEfiNotFound;
        return result;
      }
      result.Exists = false;
      result.Directory = false;
      result.MissingLeaf = wanted;
      break;
    }
    parts.push_back(found);
    result.Directory = IsDirectory(HostPathOf(volume, parts));
  }
  result.Parts = parts;
  return result;
}

}  // namespace sim
