// The simulated EC at port level (skeleton: the interfaces come next).
#include "sim/ec_model.h"

#include "sim/ec_model_state.h"

namespace sim {

void EcConfigDefaults(EcConfig* config) {
  *config = EcConfig{};
  config->Present = true;
  config->CommandPortSet = 1;
  config->FlashSize = 3 * 65536;
  config->SizeReply = 0x40;
}

void EcModelReset(EcModel* ec, const EcConfig* config, const uint8_t* flashBytes, size_t flashLength) {
  ec->Config = *config;
  ec->FlashSize = config->FlashSize;
  for (uint32_t i = 0; i < kEcMaxFlashSize; ++i) {
    ec->Flash[i] = i < flashLength ? flashBytes[i] : 0xFF;
    ec->LastProgrammed[i] = 0;
  }
}

uint8_t EcModelPortRead(EcModel* ec, uint16_t port) {
  ++ec->PortOps;
  (void)port;
  return 0xFF;
}

void EcModelPortWrite(EcModel* ec, uint16_t port, uint8_t value) {
  ++ec->PortOps;
  (void)port;
  (void)value;
}

const uint8_t* EcModelFlash(const EcModel* ec) { return ec->Flash; }
uint32_t EcModelFlashSize(const EcModel* ec) { return ec->FlashSize; }
bool EcModelInFlashMode(const EcModel* ec) { return ec->FlashMode; }
size_t EcModelEventCount(const EcModel* ec) { return ec->EventCount; }
const EcEvent* EcModelEvents(const EcModel* ec) { return ec->Events; }
uint8_t EcModelRam(const EcModel* ec, uint8_t address) { return ec->Ram[address]; }
uint64_t EcModelLastProgrammed(const EcModel* ec, uint32_t address) {
  return address < kEcMaxFlashSize ? ec->LastProgrammed[address] : 0;
}

}  // namespace sim
