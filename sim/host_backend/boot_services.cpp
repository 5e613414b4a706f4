// Pool, the watchdog, Stall and GetTime on the simulated machine.
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "sim/host_state.h"

// Fresh pool memory holds this byte, so reads of bytes never written show up.
constexpr uint8_t kPoolFill = 0xAF;

void* PoolAllocate(size_t size) {
  sim::HostState& host = sim::gHost;
  const sim::Faults& fault = sim::gMachine.Config.Fault;
  uint64_t call = ++host.Calls.Alloc;
  if (fault.AllocFailCall > 0 && call == static_cast<uint64_t>(fault.AllocFailCall)) return nullptr;
  if (fault.AllocFailMinSize && size >= *fault.AllocFailMinSize) return nullptr;
  void* buffer = std::malloc(size == 0 ? 1 : size);
  if (buffer == nullptr) return nullptr;
  std::memset(buffer, kPoolFill, size);
  host.Allocations[buffer] = sim::AllocationRecord{size, call};
  return buffer;
}

void PoolFree(void* buffer) {
  if (buffer == nullptr) return;
  auto it = sim::gHost.Allocations.find(buffer);
  if (it == sim::gHost.Allocations.end()) {
    sim::gHost.Misuse.push_back("free of a pointer the pool did not give (or freed twice)");
    return;
  }
  sim::gHost.Allocations.erase(it);
  std::free(buffer);
}

void PlatformDisableWatchdog() { sim::gMachine.WatchdogDisabledAt.push_back(sim::gMachine.PortOps); }

void Stall(size_t microseconds) {
  sim::gMachine.NowUs += microseconds;
  sim::gMachine.Stalls.push_back(microseconds);
  sim::gMachine.StallPortOps.push_back(sim::gMachine.PortOps);
  if (sim::gMachine.Config.RealTime) {
    struct timespec wait;
    wait.tv_sec = static_cast<time_t>(microseconds / 1000000);
    wait.tv_nsec = static_cast<long>((microseconds % 1000000) * 1000);
    while (nanosleep(&wait, &wait) != 0) {
    }
  }
}

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

}  // namespace

// The configured clock plus the virtual time that has gone by since boot.
EfiStatus GetTime(EfiTime* time) {
  if (time == nullptr) return kEfiInvalidParameter;
  if (sim::gMachine.Config.Fault.GetTimeFails) return kEfiDeviceError;
  const EfiTime& base = sim::gMachine.Config.Time;
  uint64_t elapsedUs = sim::gMachine.NowUs + base.Nanosecond / 1000;
  int64_t seconds = DaysFromCivil(base.Year, base.Month == 0 ? 1 : base.Month, base.Day == 0 ? 1 : base.Day) * 86400 +
                    base.Hour * 3600 + base.Minute * 60 + base.Second + static_cast<int64_t>(elapsedUs / 1000000);
  int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  int64_t rest = seconds - days * 86400;
  int64_t year;
  unsigned month, day;
  CivilFromDays(days, &year, &month, &day);
  *time = base;
  time->Year = static_cast<uint16_t>(year);
  time->Month = static_cast<uint8_t>(month);
  time->Day = static_cast<uint8_t>(day);
  time->Hour = static_cast<uint8_t>(rest / 3600);
  time->Minute = static_cast<uint8_t>(rest / 60 % 60);
  time->Second = static_cast<uint8_t>(rest % 60);
  time->Nanosecond = static_cast<uint32_t>(elapsedUs % 1000000 * 1000);
  return kEfiSuccess;
}
