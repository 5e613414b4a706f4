// \SIMEC\EC.CFG, read with the EC's settings table (sim/ec_settings.h): the
// names of tarnwick-sim's EC options, "ec-ports = 2", "no-ac".
#include "platform/format.h"
#include "sim/simec/simec.h"

bool SimecParseConfig(const char* text, size_t length, sim::EcSetup* setup) {
  size_t line = 0;
  sim::EcWhy why;
  if (sim::EcReadConfig(text, length, setup, &line, &why)) return true;
  Char16 message[256];
  FormatString(message, 256, u"tarnwick-simec: EC.CFG line %u: %a", line, why.Text);
  SimecSay(message);
  return false;
}
