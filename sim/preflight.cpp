#include "sim/preflight.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

bool CanWriteFile(const std::string& path, std::string* cause) {
  int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  if (errno != ENOENT) {
    *cause = std::strerror(errno);
    return false;
  }
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0) {
    *cause = std::string(std::strerror(errno)) + " (the folder " + dir + ")";
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *cause = std::string(std::strerror(ENOTDIR)) + " (" + dir + ")";
    return false;
  }
  if (::access(dir.c_str(), W_OK | X_OK) != 0) {
    *cause = std::string(std::strerror(errno)) + " (the folder " + dir + ")";
    return false;
  }
  return true;
}

int CheckBeforeRun(const SimCommandLine& line, std::string* error) {
  for (const std::string& volume : line.Config.Volumes) {
    struct stat st;
    if (::stat(volume.c_str(), &st) != 0) {
      *error = "the volume " + volume + " cannot be used: " + std::strerror(errno);
      return 74;
    }
    if (!S_ISDIR(st.st_mode)) {
      *error = "the volume " + volume + " cannot be used: " + std::strerror(ENOTDIR);
      return 74;
    }
  }
  const struct {
    const char* What;
    const std::string& Path;
  } outputs[] = {{"flash file", line.FlashFile}, {"trace file", line.TraceFile}, {"screen file", line.ScreenFile},
                 {"log file", line.LogFile}, {"stalls file", line.StallsFile}};
  for (const auto& output : outputs) {
    std::string cause;
    if (!output.Path.empty() && !CanWriteFile(output.Path, &cause)) {
      *error = std::string("the ") + output.What + " " + output.Path + " cannot be written: " + cause;
      return 74;
    }
  }
  return 0;
}

}  // namespace sim
