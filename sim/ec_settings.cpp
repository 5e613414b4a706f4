// The rows of the simulated EC's settings and fault kinds, and the reading of
// their values. Adding a setting or a fault kind is one row here (and the
// field of EcConfig it sets, when it needs a new one).
#include "sim/ec_settings.h"

#include "ec/ec_commands.h"
#include "sim/sample_image_bytes.h"

namespace sim {

namespace {

// ---- texts for the reasons ----

void Say(EcWhy* why, const char* text) {
  for (; *text != 0 && why->Length + 1 < sizeof why->Text; ++text) why->Text[why->Length++] = *text;
  why->Text[why->Length] = 0;
}

void SayNumber(EcWhy* why, uint64_t n, bool hex) {
  char digits[24];
  size_t count = 0;
  uint64_t base = hex ? 16 : 10;
  do {
    digits[count++] = "0123456789ABCDEF"[n % base];
    n /= base;
  } while (n != 0);
  if (hex) Say(why, "0x");
  char one[2] = {0, 0};
  while (count > 0) {
    one[0] = digits[--count];
    Say(why, one);
  }
}

void Clear(EcWhy* why) {
  why->Length = 0;
  why->Text[0] = 0;
}

bool Refuse(EcWhy* why, const char* text) {
  Clear(why);
  Say(why, text);
  return false;
}

// ---- values ----

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Text + '$', as the EC sends a reply.
void SetReply(EcText text, uint8_t* reply, uint8_t* length) {
  for (size_t i = 0; i < text.Length; ++i) reply[i] = static_cast<uint8_t>(text.Chars[i]);
  reply[text.Length] = '$';
  *length = static_cast<uint8_t>(text.Length + 1);
}

void CopyBytes(const EcValue& value, uint8_t* field, uint8_t* length) {
  for (size_t i = 0; i < value.ByteCount; ++i) field[i] = value.Bytes[i];
  *length = static_cast<uint8_t>(value.ByteCount);
}

// ---- fault kinds ----

bool FlashAddress(EcText text, uint64_t* address) { return EcParseNumber(text, kEcMaxFlashSize - 1, address); }

// A new entry for a fault on the flash byte at address, or nullptr (and
// *why) when the table is full.
EcFlashFault* AddFlashFault(EcConfig* ec, uint64_t address, EcWhy* why) {
  if (ec->FlashFaultCount >= kEcMaxFaultBytes) {
    Clear(why);
    Say(why, "at most ");
    SayNumber(why, kEcMaxFaultBytes, false);
    Say(why, " flash byte faults");
    return nullptr;
  }
  EcFlashFault* fault = &ec->FlashFaults[ec->FlashFaultCount++];
  *fault = EcFlashFault{};
  fault->Address = static_cast<uint32_t>(address);
  return fault;
}

// The fault on the flash byte that the first field names; nullptr when the
// address is out of range (why stays empty) or the table is full.
EcFlashFault* FlashFaultAt(const EcText* f, EcSetup* s, EcWhy* why) {
  uint64_t address = 0;
  return FlashAddress(f[0], &address) ? AddFlashFault(&s->Ec, address, why) : nullptr;
}

// A count of writes, 1 or more.
bool DiesAfter(EcText text, uint64_t* count) { return EcParseNumber(text, UINT32_MAX, count) && *count > 0; }

}  // namespace

const EcFaultRow kEcFaults[] = {
    {"ibf-stuck", nullptr, "the EC is dead from the start: IBF stays set, writes are ignored",
     [](const EcText*, EcSetup* s, EcWhy*) { return s->Ec.IbfStuckForever = true; }},
    {"ibf-stuck-after", "N", "the EC dies right after N writes to its ports (N >= 1)",
     [](const EcText* f, EcSetup* s, EcWhy*) { return DiesAfter(f[0], &s->Ec.IbfStuckAfterBytes); }},
    {"ibf-stuck-after-data", "N", "the EC dies right after N writes to its data ports (N >= 1)",
     [](const EcText* f, EcSetup* s, EcWhy*) { return DiesAfter(f[0], &s->Ec.IbfStuckAfterDataBytes); }},
    {"ibf-slow", "N:R",
     "after the N-th write to its ports (N >= 1) IBF stays set for R status reads, then the EC goes on "
     "normally (repeatable)",
     [](const EcText* f, EcSetup* s, EcWhy* why) {
       uint64_t after = 0, reads = 0;
       if (!DiesAfter(f[0], &after) || !EcParseNumber(f[1], UINT32_MAX, &reads)) return false;
       if (s->Ec.SlowSpellCount >= kEcMaxFaultBytes) {
         Clear(why);
         Say(why, "at most ");
         SayNumber(why, kEcMaxFaultBytes, false);
         Say(why, " slow spells");
         return false;
       }
       s->Ec.SlowSpells[s->Ec.SlowSpellCount++] = EcSlowSpell{after, static_cast<uint32_t>(reads)};
       return true;
     }},
    {"obf-never", nullptr, "OBF never comes (bytes still queue; the data port gives them)",
     [](const EcText*, EcSetup* s, EcWhy*) { return s->Ec.ObfNeverSet = true; }},
    {"erase-no-obf", nullptr, "the chip erase's completion bytes queue without raising OBF",
     [](const EcText*, EcSetup* s, EcWhy*) { return s->Ec.ChipEraseNoObf = true; }},
    {"drop-writes-while-ibf", nullptr, "a byte written while IBF shows is lost",
     [](const EcText*, EcSetup* s, EcWhy*) { return s->Ec.DropWritesWhileIbf = true; }},
    {"stale", "CMD:BYTES", "BYTES (hex, e.g. AA,BB) queued each time command CMD arrives, before its answer",
     [](const EcText* f, EcSetup* s, EcWhy*) {
       uint64_t command = 0;
       size_t count = 0;
       if (!EcParseNumber(f[0], 0xFF, &command) || !EcParseBytes(f[1], kEcMaxFaultBytes, s->Ec.StaleBytes, &count)) {
         return false;
       }
       s->Ec.StaleBeforeCommand = static_cast<uint8_t>(command);
       s->Ec.StaleLength = static_cast<uint8_t>(count);
       return true;
     }},
    {"stuck-zero", "ADDR:MASK", "the bits of MASK read 0 at flash address ADDR whatever is programmed",
     [](const EcText* f, EcSetup* s, EcWhy* why) {
       uint64_t mask = 0;
       if (!EcParseNumber(f[1], 0xFF, &mask)) return false;
       EcFlashFault* fault = FlashFaultAt(f, s, why);
       if (fault != nullptr) fault->StuckZeroMask = static_cast<uint8_t>(mask);
       return fault != nullptr;
     }},
    {"never-program", "ADDR", "programming leaves the byte at ADDR as it was",
     [](const EcText* f, EcSetup* s, EcWhy* why) {
       EcFlashFault* fault = FlashFaultAt(f, s, why);
       if (fault != nullptr) fault->NeverPrograms = true;
       return fault != nullptr;
     }},
    {"reads-wrong", "ADDR", "the byte at ADDR reads back with its lowest bit flipped",
     [](const EcText* f, EcSetup* s, EcWhy* why) {
       EcFlashFault* fault = FlashFaultAt(f, s, why);
       if (fault != nullptr) fault->ReadsWrong = true;
       return fault != nullptr;
     }},
    {"erase-leaves", "ADDR:PASS", "the PASS-th erase (1..127) leaves the byte at ADDR at 0x00",
     [](const EcText* f, EcSetup* s, EcWhy* why) {
       uint64_t pass = 0;
       if (!EcParseNumber(f[1], 127, &pass) || pass == 0) return false;
       EcFlashFault* fault = FlashFaultAt(f, s, why);
       if (fault != nullptr) fault->EraseLeavesInPass = static_cast<int8_t>(pass);
       return fault != nullptr;
     }},
};

const size_t kEcFaultCount = sizeof kEcFaults / sizeof kEcFaults[0];

namespace {

constexpr size_t kMaxFaultFields = 3;

size_t FieldCount(const char* args) {
  if (args == nullptr) return 0;
  size_t count = 1;
  for (const char* c = args; *c != 0; ++c) count += *c == ':';
  return count;
}

bool SameText(EcText a, const char* b) {
  size_t i = 0;
  for (; i < a.Length; ++i) {
    if (b[i] == 0 || b[i] != a.Chars[i]) return false;
  }
  return b[i] == 0;
}

bool ApplyFault(const EcValue& value, EcSetup* setup, EcWhy* why) {
  EcText fields[kMaxFaultFields + 1];
  size_t count = 0;
  size_t start = 0;
  const EcText text = value.Text;
  for (size_t i = 0; i <= text.Length; ++i) {
    if (i < text.Length && text.Chars[i] != ':') continue;
    if (count <= kMaxFaultFields) fields[count] = EcText{text.Chars + start, i - start};
    ++count;
    start = i + 1;
  }
  for (const EcFaultRow& kind : kEcFaults) {
    if (!SameText(fields[0], kind.Name)) continue;
    Clear(why);
    if (count - 1 == FieldCount(kind.Args) && kind.Apply(fields + 1, setup, why)) return true;
    if (why->Length == 0) {
      Say(why, "expected ");
      Say(why, kind.Name);
      if (kind.Args != nullptr) {
        Say(why, ":");
        Say(why, kind.Args);
      }
      Say(why, " (see --help)");
    }
    return false;
  }
  return Refuse(why, "no such EC fault (see --help)");
}

// ---- settings ----

#define SET_NUMBER(field) [](const EcValue& v, EcSetup* s, EcWhy*) { s->Ec.field = static_cast<decltype(s->Ec.field)>(v.Number); return true; }

}  // namespace

const EcSettingRow kEcSettings[] = {
    {"ec-size-reply", EcValueKind::Number, "N", 0xFF, "0x20, 0x40 or 0x80 matching the flash size, 128K giving 0x20",
     "the mailbox reply of the size probe",
     [](const EcValue& v, EcSetup* s, EcWhy*) {
       s->Ec.SizeReply = static_cast<uint8_t>(v.Number);
       return s->SizeReplyGiven = true;
     }},
    {"ec-project", EcValueKind::Text, "TEXT", 63, "from the flash's PRJ: tag, else TESTPRJ",
     "the EC's project reply, sent with a '$' appended",
     [](const EcValue& v, EcSetup* s, EcWhy*) {
       SetReply(v.Text, s->Ec.Project, &s->Ec.ProjectLength);
       s->Ec.ProjectFromFlash = false;
       return true;
     }},
    {"ec-no-project", EcValueKind::Switch, nullptr, 0, nullptr, "the EC does not answer the project query",
     [](const EcValue&, EcSetup* s, EcWhy*) {
       s->Ec.ProjectLength = 0;
       s->Ec.ProjectFromFlash = false;
       return true;
     }},
    {"ec-version", EcValueKind::Text, "TEXT", 63, "from the flash's VER: tag less its leading \"1.\", else 01.00",
     "the EC's version reply, sent with a '$' appended; the tool shows \"1.\" in front of it",
     [](const EcValue& v, EcSetup* s, EcWhy*) {
       SetReply(v.Text, s->Ec.Version, &s->Ec.VersionLength);
       s->Ec.VersionFromFlash = false;
       return true;
     }},
    {"ec-no-version", EcValueKind::Switch, nullptr, 0, nullptr, "the EC does not answer the version query",
     [](const EcValue&, EcSetup* s, EcWhy*) {
       s->Ec.VersionLength = 0;
       s->Ec.VersionFromFlash = false;
       return true;
     }},
    {"ec-ports", EcValueKind::Number, "N", kEcPortSetCount - 1, "1",
     "the port set (as /o numbers them) on which the EC's command interface answers", SET_NUMBER(CommandPortSet)},
    {"ec-mode-reply", EcValueKind::Number, "N", 0xFF, "0x00", "reply byte to the flash mode query",
     [](const EcValue& v, EcSetup* s, EcWhy*) {
       s->Ec.ModeReply = static_cast<uint8_t>(v.Number);
       return s->Ec.HasModeReply = true;
     }},
    {"ec-no-mode-reply", EcValueKind::Switch, nullptr, 0, nullptr, "no reply to the flash mode query",
     [](const EcValue&, EcSetup* s, EcWhy*) { return !(s->Ec.HasModeReply = false); }},
    {"ec-id", EcValueKind::Bytes, "BYTES", sizeof(EcConfig::Id), "EF,40,13,00", "the part ID bytes, hex, e.g. EF,40,13",
     [](const EcValue& v, EcSetup* s, EcWhy*) { return CopyBytes(v, s->Ec.Id, &s->Ec.IdLength), true; }},
    {"ec-erase-reply", EcValueKind::Bytes, "BYTES", sizeof(EcConfig::EraseCompletion), "F8",
     "bytes queued after a chip erase of a 192K or 256K part; '' sends no completion byte",
     [](const EcValue& v, EcSetup* s, EcWhy*) {
       return CopyBytes(v, s->Ec.EraseCompletion, &s->Ec.EraseCompletionLength), true;
     }},
    {"ec-ac", EcValueKind::Bytes, "BYTES", sizeof(EcConfig::AcReadings), "01",
     "successive readings of EC RAM 0x10, the adapter status; the last one repeats",
     [](const EcValue& v, EcSetup* s, EcWhy* why) {
       if (v.ByteCount == 0) return Refuse(why, "needs at least one reading");
       return CopyBytes(v, s->Ec.AcReadings, &s->Ec.AcReadingsLength), true;
     }},
    {"ec-ibf-busy", EcValueKind::Number, "N", 1000000, "0", "status reads for which IBF stays set after each write",
     SET_NUMBER(IbfBusyReads)},
    {"ec-ibf-busy-command", EcValueKind::Number, "N", 1000000, "0",
     "status reads for which IBF stays set after each command byte, on top of --ec-ibf-busy",
     SET_NUMBER(IbfBusyCommandReads)},
    {"ec-fault", EcValueKind::Fault, "FAULT", 0, nullptr, "an EC fault (repeatable), one of:", ApplyFault},
    {"no-ac", EcValueKind::Switch, nullptr, 0, nullptr, "the AC adapter is absent (as --ec-ac 00)",
     [](const EcValue&, EcSetup* s, EcWhy*) {
       s->Ec.AcReadings[0] = 0x00;
       s->Ec.AcReadingsLength = 1;
       return true;
     }},
    {"no-ec", EcValueKind::Switch, nullptr, 0, nullptr, "nothing answers on any EC port",
     [](const EcValue&, EcSetup* s, EcWhy*) { return !(s->Ec.Present = false); }},
};

#undef SET_NUMBER

const size_t kEcSettingCount = sizeof kEcSettings / sizeof kEcSettings[0];

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Reads what the row's kind asks for into value; false with *why.
bool ReadValue(const EcSettingRow& row, EcText text, EcValue* value, EcWhy* why) {
  value->Text = text;
  switch (row.Kind) {
    case EcValueKind::Switch:
      return text.Length == 0 || Refuse(why, "takes no value");
    case EcValueKind::Number:
      if (EcParseNumber(text, row.Max, &value->Number)) return true;
      Clear(why);
      Say(why, "needs a number 0..");
      SayNumber(why, row.Max, row.Max == 0xFF);
      return false;
    case EcValueKind::Text:
      if (text.Length <= row.Max) return true;
      Clear(why);
      Say(why, "needs at most ");
      SayNumber(why, row.Max, false);
      Say(why, " characters");
      return false;
    case EcValueKind::Bytes:
      if (EcParseBytes(text, row.Max, value->Bytes, &value->ByteCount)) return true;
      Clear(why);
      Say(why, "needs at most ");
      SayNumber(why, row.Max, false);
      Say(why, " hex bytes, e.g. EF,40,13");
      return false;
    case EcValueKind::Fault:
      return true;
  }
  return false;
}

}  // namespace

EcText EcTextOf(const char* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return EcText{text, length};
}

void EcSetupDefaults(EcSetup* setup) {
  EcConfigDefaults(&setup->Ec);
  setup->SizeReplyGiven = false;
}

const EcSettingRow* EcFindSetting(EcText name) {
  for (const EcSettingRow& row : kEcSettings) {
    if (SameText(name, row.Name)) return &row;
  }
  return nullptr;
}

bool EcApplySetting(const EcSettingRow& row, const EcText* text, EcSetup* setup, EcWhy* why) {
  Clear(why);
  if (text == nullptr && row.Kind != EcValueKind::Switch) return Refuse(why, "needs a value");
  EcValue value{};
  if (!ReadValue(row, text != nullptr ? *text : EcText{"", 0}, &value, why)) return false;
  return row.Apply(value, setup, why);
}

namespace {

EcText Trim(const char* text, size_t length) {
  while (length > 0 && (IsBlank(*text) || *text == '\r')) {
    ++text;
    --length;
  }
  while (length > 0 && (IsBlank(text[length - 1]) || text[length - 1] == '\r')) --length;
  return {text, length};
}

bool ApplyConfigLine(EcText line, EcSetup* setup, EcWhy* why) {
  size_t equals = 0;
  while (equals < line.Length && line.Chars[equals] != '=') ++equals;
  const EcSettingRow* row = EcFindSetting(Trim(line.Chars, equals));
  if (row == nullptr) return Refuse(why, "no such setting (tarnwick-sim --help-ec lists them)");
  if (equals == line.Length) return EcApplySetting(*row, nullptr, setup, why);
  const EcText value = Trim(line.Chars + equals + 1, line.Length - equals - 1);
  return EcApplySetting(*row, &value, setup, why);
}

}  // namespace

bool EcReadConfig(const char* text, size_t length, EcSetup* setup, size_t* badLine, EcWhy* why) {
  size_t number = 0;
  for (size_t start = 0; start < length;) {
    size_t end = start;
    while (end < length && text[end] != '\n') ++end;
    ++number;
    const EcText line = Trim(text + start, end - start);
    if (line.Length != 0 && line.Chars[0] != '#' && !ApplyConfigLine(line, setup, why)) {
      *badLine = number;
      return false;
    }
    start = end + 1;
  }
  return true;
}

bool EcFlashSizeValid(uint64_t bytes) { return bytes >= 65536 && bytes <= kEcMaxFlashSize && bytes % 65536 == 0; }

void EcSetupFlashSize(EcSetup* setup, uint32_t flashSize) {
  setup->Ec.FlashSize = flashSize;
  if (!setup->SizeReplyGiven) setup->Ec.SizeReply = EcSizeReplyFor(flashSize);
}

void EcWriteDefaultFlash(const EcConfig& ec, uint8_t* flash) {
  EcConfig defaults;
  EcConfigDefaults(&defaults);
  const EcConfig& named = ec.ProjectLength > 0 ? ec : defaults;
  size_t length = 0;
  while (length < named.ProjectLength && named.Project[length] != '$') ++length;
  const char* project = reinterpret_cast<const char*>(named.Project);
  WriteSampleImage(flash, kEcDefaultFlashSize, {project, length}, {"1.00.07", 7}, {"2025/11/03", 10}, 0x7A3B);
}

bool EcParseNumber(EcText text, uint64_t max, uint64_t* value) {
  size_t i = 0;
  uint64_t base = 10;
  if (text.Length > 1 && text.Chars[0] == '0') {
    base = 8;
    i = 1;
    if (text.Chars[1] == 'x' || text.Chars[1] == 'X') {
      base = 16;
      i = 2;
    }
  }
  if (i == text.Length && base != 8) return false;  // "", "0x"
  uint64_t n = 0;
  for (; i < text.Length && DigitValue(text.Chars[i]) < static_cast<int>(base); ++i) {
    uint64_t digit = static_cast<uint64_t>(DigitValue(text.Chars[i]));
    if (n > (UINT64_MAX - digit) / base) return false;
    n = n * base + digit;
  }
  uint64_t scale = 1;
  if (i < text.Length && (text.Chars[i] == 'K' || text.Chars[i] == 'k')) {
    scale = 1024;
    ++i;
  }
  if (i != text.Length || n > max / scale) return false;
  *value = n * scale;
  return true;
}

bool EcParseBytes(EcText text, size_t max, uint8_t* bytes, size_t* count) {
  *count = 0;
  size_t i = 0;
  while (true) {
    while (i < text.Length && (IsBlank(text.Chars[i]) || text.Chars[i] == ',')) ++i;
    if (i == text.Length) return true;
    if (i + 1 < text.Length && text.Chars[i] == '0' && (text.Chars[i + 1] == 'x' || text.Chars[i + 1] == 'X')) i += 2;
    uint32_t v = 0;
    size_t digits = 0;
    for (; i < text.Length && !IsBlank(text.Chars[i]) && text.Chars[i] != ','; ++i, ++digits) {
      int d = DigitValue(text.Chars[i]);
      if (d > 15) return false;
      v = v * 16 + static_cast<uint32_t>(d);
      if (v > 0xFF) return false;
    }
    if (digits == 0) return false;
    if (*count >= max) return false;
    bytes[(*count)++] = static_cast<uint8_t>(v);
  }
}

}  // namespace sim
