// \SIMEC\EC.CFG: one "key = value" per line, '#' starts a comment.
//
//   flash-size = 192K          64K..256K in steps of 64K (default 192K, or the
//                              size of FLASH.BIN when it is one of those)
//   size-reply = 0x40          what the size probe reads back in EC RAM 0xF9
//   project = TESTPRJ          the answer to 0x92; a '$' is appended; empty: no answer
//   version = 01.00            the answer to 0x93; a '$' is appended; empty: no answer
//   ports = 1                  port set (0..3) of the command interface
//   mode-reply = 0x00          the answer to the flash mode query; "none": no answer
//   ac = 1                     0: the adapter is absent
//   present = 1                0: nothing answers on any EC port
//   ibf-busy-reads = 0         status reads that show IBF after each host write
//   never-programs = 0x1234    a flash byte that programming never changes (repeatable)
//   stuck-zero = 0x1234:0x01   a flash byte whose masked bits always read 0 (repeatable)
//   reads-wrong = 0x1234       a flash byte whose read-back has bit 0 flipped (repeatable)
#include "platform/format.h"
#include "platform/uefi/simec/simec.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

struct Span {
  const char* Text;
  size_t Length;
};

Span Trim(const char* text, size_t length) {
  while (length > 0 && IsBlank(*text)) {
    ++text;
    --length;
  }
  while (length > 0 && IsBlank(text[length - 1])) --length;
  return {text, length};
}

bool Equals(Span span, const char* word) {
  size_t i = 0;
  for (; i < span.Length; ++i) {
    if (word[i] == 0 || word[i] != span.Text[i]) return false;
  }
  return word[i] == 0;
}

// Decimal or 0x hexadecimal, with an optional K (x 1024) suffix.
bool ParseNumber(Span span, uint64_t* value) {
  if (span.Length == 0) return false;
  uint64_t result = 0;
  size_t i = 0;
  uint64_t base = 10;
  if (span.Length > 2 && span.Text[0] == '0' && (span.Text[1] == 'x' || span.Text[1] == 'X')) {
    base = 16;
    i = 2;
  }
  size_t digits = 0;
  for (; i < span.Length; ++i) {
    const char c = span.Text[i];
    uint64_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint64_t>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<uint64_t>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<uint64_t>(c - 'A' + 10);
    } else {
      break;
    }
    if (++digits > 12) return false;
    result = result * base + digit;
  }
  if (digits == 0) return false;
  if (i < span.Length && (span.Text[i] == 'K' || span.Text[i] == 'k')) {
    result *= 1024;
    ++i;
  }
  if (i != span.Length) return false;
  *value = result;
  return true;
}

// Text + '$', at most 63 characters of text.
bool SetReply(Span value, uint8_t* reply, uint8_t* length) {
  if (value.Length > 63) return false;
  for (size_t i = 0; i < value.Length; ++i) reply[i] = static_cast<uint8_t>(value.Text[i]);
  if (value.Length == 0) {
    *length = 0;
    return true;
  }
  reply[value.Length] = '$';
  *length = static_cast<uint8_t>(value.Length + 1);
  return true;
}

sim::EcFlashFault* AddFault(sim::EcConfig* config, uint32_t address) {
  if (config->FlashFaultCount >= sim::kEcMaxFaultBytes) return nullptr;
  sim::EcFlashFault* fault = &config->FlashFaults[config->FlashFaultCount++];
  *fault = sim::EcFlashFault{};
  fault->Address = address;
  return fault;
}

bool ApplySetting(Span key, Span value, SimecSettings* settings) {
  sim::EcConfig* config = &settings->Ec;
  uint64_t n = 0;
  if (Equals(key, "project")) return SetReply(value, config->Project, &config->ProjectLength);
  if (Equals(key, "version")) return SetReply(value, config->Version, &config->VersionLength);
  if (Equals(key, "mode-reply") && Equals(value, "none")) {
    config->HasModeReply = false;
    return true;
  }
  if (Equals(key, "stuck-zero")) {
    size_t colon = 0;
    while (colon < value.Length && value.Text[colon] != ':') ++colon;
    uint64_t mask = 0;
    if (colon == value.Length || !ParseNumber({value.Text, colon}, &n) ||
        !ParseNumber({value.Text + colon + 1, value.Length - colon - 1}, &mask) || n >= sim::kEcMaxFlashSize ||
        mask > 0xFF) {
      return false;
    }
    sim::EcFlashFault* fault = AddFault(config, static_cast<uint32_t>(n));
    if (fault == nullptr) return false;
    fault->StuckZeroMask = static_cast<uint8_t>(mask);
    return true;
  }
  if (!ParseNumber(value, &n)) return false;
  if (Equals(key, "flash-size")) {
    if (n < 65536 || n > sim::kEcMaxFlashSize || n % 65536 != 0) return false;
    config->FlashSize = static_cast<uint32_t>(n);
    settings->FlashSizeGiven = true;
  } else if (Equals(key, "size-reply") && n <= 0xFF) {
    config->SizeReply = static_cast<uint8_t>(n);
    settings->SizeReplyGiven = true;
  } else if (Equals(key, "ports") && n <= 3) {
    config->CommandPortSet = static_cast<uint8_t>(n);
  } else if (Equals(key, "mode-reply") && n <= 0xFF) {
    config->HasModeReply = true;
    config->ModeReply = static_cast<uint8_t>(n);
  } else if (Equals(key, "ac") && n <= 1) {
    config->AcReadings[0] = n ? 0x01 : 0x00;
    config->AcReadingsLength = 1;
  } else if (Equals(key, "present") && n <= 1) {
    config->Present = n != 0;
  } else if (Equals(key, "ibf-busy-reads") && n <= 1000000) {
    config->IbfBusyReads = static_cast<uint32_t>(n);
  } else if (Equals(key, "never-programs") && n < sim::kEcMaxFlashSize) {
    sim::EcFlashFault* fault = AddFault(config, static_cast<uint32_t>(n));
    if (fault == nullptr) return false;
    fault->NeverPrograms = true;
  } else if (Equals(key, "reads-wrong") && n < sim::kEcMaxFlashSize) {
    sim::EcFlashFault* fault = AddFault(config, static_cast<uint32_t>(n));
    if (fault == nullptr) return false;
    fault->ReadsWrong = true;
  } else {
    return false;
  }
  return true;
}

}  // namespace

uint8_t SimecSizeReplyFor(uint32_t flashSize) {
  if (flashSize == 4 * 65536) return 0x80;
  if (flashSize == 3 * 65536) return 0x40;
  return 0x20;
}

bool SimecParseConfig(const char* text, size_t length, SimecSettings* settings) {
  size_t start = 0;
  size_t lineNumber = 0;
  while (start < length) {
    size_t end = start;
    while (end < length && text[end] != '\n') ++end;
    ++lineNumber;
    size_t used = end - start;
    for (size_t i = 0; i < used; ++i) {
      if (text[start + i] == '#') {
        used = i;
        break;
      }
    }
    const Span line = Trim(text + start, used);
    if (line.Length != 0) {
      size_t equals = 0;
      while (equals < line.Length && line.Text[equals] != '=') ++equals;
      bool good = equals < line.Length;
      if (good) {
        good = ApplySetting(Trim(line.Text, equals),
                            Trim(line.Text + equals + 1, line.Length - equals - 1), settings);
      }
      if (!good) {
        Char16 message[96];
        FormatString(message, 96, u"tarnwick-simec: EC.CFG line %u is not understood", lineNumber);
        SimecSay(message);
        return false;
      }
    }
    start = end + 1;
  }
  return true;
}
