// Backoff arithmetic of the reconnecting session (see the header).
#include "reconnect_backoff.h"

uint32_t ReconnectDelayMs(uint32_t attempt, uint32_t maxDelayMs, uint32_t randomBits) {
  if (maxDelayMs == 0) return 0;
  uint32_t step = kReconnectBaseDelayMs < maxDelayMs ? kReconnectBaseDelayMs : maxDelayMs;
  for (uint32_t doubling = 1; doubling < attempt && step < maxDelayMs; ++doubling)
    step = step > maxDelayMs / 2 ? maxDelayMs : step * 2;
  const uint32_t half = step / 2;
  return step - half + randomBits % (half + 1);
}

uint32_t NextJitterBits(uint32_t& state) {
  if (state == 0) state = 0x9E3779B9u;
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}
