// The wait before each reconnect attempt: exponential backoff from
// kReconnectBaseDelayMs, doubling per attempt up to the handle's maximum,
// with "equal jitter" (a random point in the upper half of the step) so
// that many clients that lost one device do not redial in step.
#pragma once
#include <cstdint>

constexpr uint32_t kReconnectBaseDelayMs = 100;

// Attempt counts from 1; `randomBits` is any uniformly random value.
uint32_t ReconnectDelayMs(uint32_t attempt, uint32_t maxDelayMs, uint32_t randomBits);

// A small xorshift generator: jitter needs spread, not quality.
uint32_t NextJitterBits(uint32_t& state);
