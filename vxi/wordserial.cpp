// Word-serial command with response: VISA's viVxiCommandQuery where VISA
// offers it, otherwise the handshake on the device's Response and Data Low
// registers.
#include "common/clock.h"
#include "vxi/vxi.h"

namespace {

constexpr ViBusAddress responseRegister = 0x0A;
constexpr ViBusAddress dataLowRegister = 0x0E;
constexpr ViUInt16 writeReady = 0x0200;
constexpr ViUInt16 readReady = 0x0400;
constexpr double responseLimitSeconds = 0.5;
constexpr int32_t pollMicroseconds = 1000;

constexpr int32_t notWriteReady = -1;
constexpr int32_t noResponse = -2;

// Sleeps the whole milliseconds that the microseconds make.
void sleepMicroseconds(int32_t microseconds) { sleepMilliseconds(microseconds / 1000); }

// Always a 16-bit command with a 16-bit response, whatever the mode asked for.
int32_t registerCommandQuery(ViSession session, uint32_t command, uint32_t* response) {
  ViUInt16 state = 0;
  ViStatus status = visa().viIn16(session, VI_A16_SPACE, responseRegister, &state);
  if (status != VI_SUCCESS) return status;
  if ((state & writeReady) == 0) return notWriteReady;
  status = visa().viOut16(session, VI_A16_SPACE, dataLowRegister,
                          static_cast<ViUInt16>(command & 0xFFFF));
  if (status != VI_SUCCESS) return status;

  double start = elapsedSeconds();
  for (;;) {
    status = visa().viIn16(session, VI_A16_SPACE, responseRegister, &state);
    if (status != VI_SUCCESS) return status;
    if (state & readReady) break;
    sleepMicroseconds(pollMicroseconds);
    if (elapsedSeconds() - start > responseLimitSeconds) return noResponse;
  }
  ViUInt16 data = 0;
  status = visa().viIn16(session, VI_A16_SPACE, dataLowRegister, &data);
  if (status != VI_SUCCESS) return status;
  *response = data;
  return 0;
}

}  // namespace

int32_t vxiCommandQuery(ViSession session, uint16_t mode, uint32_t command, uint32_t* response) {
  if (response == nullptr) return VXI_ERROR_ARGUMENT;
  ViStatus status = visa().viVxiCommandQuery(session, mode, command, response);
  if (status != VI_ERROR_NSUP_OPER) return status;
  return registerCommandQuery(session, command, response);
}
