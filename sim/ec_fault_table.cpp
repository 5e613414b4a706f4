#include <iterator>
#include <sstream>

#include "sim/fault_table.h"
#include "sim/help_format.h"
#include "sim/option_values.h"

namespace sim {

namespace {

using Fields = std::vector<std::string>;

bool FlashAddress(const std::string& text, uint64_t* address) {
  return ParseNumber(text, kEcMaxFlashSize - 1, address);
}

// A fault on one flash byte: a new entry for the address, or nullptr (and
// *why) when the table is full.
EcFlashFault* AddFlashFault(EcConfig* ec, uint64_t address, std::string* why) {
  if (ec->FlashFaultCount >= kEcMaxFaultBytes) {
    *why = "at most " + std::to_string(kEcMaxFaultBytes) + " flash byte faults";
    return nullptr;
  }
  EcFlashFault* fault = &ec->FlashFaults[ec->FlashFaultCount++];
  *fault = EcFlashFault{};
  fault->Address = static_cast<uint32_t>(address);
  return fault;
}

bool Stale(const Fields& f, EcConfig* ec, std::string*) {
  uint64_t command = 0;
  std::vector<uint8_t> bytes;
  if (!ParseNumber(f[0], 0xFF, &command) || !ParseBytes(f[1], kEcMaxFaultBytes, &bytes)) return false;
  ec->StaleBeforeCommand = static_cast<uint8_t>(command);
  ec->StaleLength = static_cast<uint8_t>(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) ec->StaleBytes[i] = bytes[i];
  return true;
}

bool IbfSlow(const Fields& f, EcConfig* ec, std::string* why) {
  uint64_t after = 0, reads = 0;
  if (!ParseNumber(f[0], UINT32_MAX, &after) || after == 0 || !ParseNumber(f[1], UINT32_MAX, &reads)) return false;
  if (ec->SlowSpellCount >= kEcMaxFaultBytes) {
    *why = "at most " + std::to_string(kEcMaxFaultBytes) + " slow spells";
    return false;
  }
  ec->SlowSpells[ec->SlowSpellCount++] = EcSlowSpell{after, static_cast<uint32_t>(reads)};
  return true;
}

bool StuckZero(const Fields& f, EcConfig* ec, std::string* why) {
  uint64_t address = 0, mask = 0;
  if (!FlashAddress(f[0], &address) || !ParseNumber(f[1], 0xFF, &mask)) return false;
  EcFlashFault* fault = AddFlashFault(ec, address, why);
  if (fault != nullptr) fault->StuckZeroMask = static_cast<uint8_t>(mask);
  return fault != nullptr;
}

bool NeverPrograms(const Fields& f, EcConfig* ec, std::string* why) {
  uint64_t address = 0;
  EcFlashFault* fault = FlashAddress(f[0], &address) ? AddFlashFault(ec, address, why) : nullptr;
  if (fault != nullptr) fault->NeverPrograms = true;
  return fault != nullptr;
}

bool ReadsWrong(const Fields& f, EcConfig* ec, std::string* why) {
  uint64_t address = 0;
  EcFlashFault* fault = FlashAddress(f[0], &address) ? AddFlashFault(ec, address, why) : nullptr;
  if (fault != nullptr) fault->ReadsWrong = true;
  return fault != nullptr;
}

bool EraseLeaves(const Fields& f, EcConfig* ec, std::string* why) {
  uint64_t address = 0, pass = 0;
  if (!FlashAddress(f[0], &address) || !ParseNumber(f[1], 127, &pass) || pass == 0) return false;
  EcFlashFault* fault = AddFlashFault(ec, address, why);
  if (fault != nullptr) fault->EraseLeavesInPass = static_cast<int8_t>(pass);
  return fault != nullptr;
}

size_t FieldCount(const char* arg) {
  if (arg == nullptr) return 0;
  size_t count = 1;
  for (const char* c = arg; *c != 0; ++c) count += *c == ':';
  return count;
}

const EcFaultKind kKinds[] = {
    {"ibf-stuck", nullptr, "the EC is dead from the start: IBF stays set, writes are ignored",
     [](const Fields&, EcConfig* ec, std::string*) { ec->IbfStuckForever = true; return true; }},
    {"ibf-stuck-after", "N", "the EC dies right after N writes to its ports (N >= 1)",
     [](const Fields& f, EcConfig* ec, std::string*) {
       return ParseNumber(f[0], UINT32_MAX, &ec->IbfStuckAfterBytes) && ec->IbfStuckAfterBytes > 0;
     }},
    {"ibf-slow", "N:R",
     "after the N-th write to its ports (N >= 1) IBF stays set for R status reads, then the EC goes on "
     "normally (repeatable)",
     IbfSlow},
    {"obf-never", nullptr, "OBF never comes (bytes still queue; the data port gives them)",
     [](const Fields&, EcConfig* ec, std::string*) { ec->ObfNeverSet = true; return true; }},
    {"erase-no-obf", nullptr, "the chip erase's completion bytes queue without raising OBF",
     [](const Fields&, EcConfig* ec, std::string*) { ec->ChipEraseNoObf = true; return true; }},
    {"drop-writes-while-ibf", nullptr, "a byte written while IBF shows is lost",
     [](const Fields&, EcConfig* ec, std::string*) { ec->DropWritesWhileIbf = true; return true; }},
    {"stale", "CMD:BYTES", "BYTES (hex, e.g. AA,BB) queued each time command CMD arrives, before its answer", Stale},
    {"stuck-zero", "ADDR:MASK", "the bits of MASK read 0 at flash address ADDR whatever is programmed", StuckZero},
    {"never-program", "ADDR", "programming leaves the byte at ADDR as it was", NeverPrograms},
    {"reads-wrong", "ADDR", "the byte at ADDR reads back with its lowest bit flipped", ReadsWrong},
    {"erase-leaves", "ADDR:PASS", "the PASS-th erase (1..127) leaves the byte at ADDR at 0x00", EraseLeaves},
};

}  // namespace

const std::vector<EcFaultKind>& EcFaultKinds() {
  static const std::vector<EcFaultKind> kRows(std::begin(kKinds), std::end(kKinds));
  return kRows;
}

bool ParseEcFault(const std::string& request, EcConfig* ec, std::string* why) {
  std::vector<std::string> f;
  std::string part;
  std::istringstream in(request);
  while (std::getline(in, part, ':')) f.push_back(part);
  if (f.empty()) f.push_back("");
  for (const EcFaultKind& kind : EcFaultKinds()) {
    if (f[0] != kind.Name) continue;
    Fields fields(f.begin() + 1, f.end());
    if (fields.size() == FieldCount(kind.Arg) && kind.Apply(fields, ec, why)) return true;
    if (why->empty()) *why = "expected " + FaultForm(kind.Name, kind.Arg) + " (see --help)";
    return false;
  }
  *why = "no such EC fault (see --help)";
  return false;
}

std::string EcFaultHelp() {
  std::string text;
  for (const EcFaultKind& kind : EcFaultKinds()) text += HelpEntry(FaultForm(kind.Name, kind.Arg), kind.Help, 4, 30);
  return text;
}

std::string FaultForm(const char* name, const char* arg) {
  return arg == nullptr ? std::string(name) : std::string(name) + ":" + arg;
}

}  // namespace sim
