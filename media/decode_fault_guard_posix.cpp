// The decoding library's fault guard on POSIX (decode_fault_guard.h): a
// handler for the four signals of processor faults, with a recovery point
// per thread. The thread's pointer to its recovery point lives in static
// TLS, so that the handler reads it without the allocation that a first
// dynamic TLS access may make.
#include <setjmp.h>
#include <signal.h>

#include <cstddef>
#include <mutex>

#include "decode_fault_guard.h"

namespace {

struct RecoveryPoint {
  sigjmp_buf jump;
};

__attribute__((tls_model("initial-exec"))) thread_local RecoveryPoint* t_recovery = nullptr;

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr size_t kSignalCount = sizeof kFaultSignals / sizeof kFaultSignals[0];
struct sigaction g_previous[kSignalCount];
std::once_flag g_installOnce;

size_t SlotOf(int signal) {
  for (size_t i = 0; i < kSignalCount; ++i) {
    if (kFaultSignals[i] == signal) return i;
  }
  return 0;
}

// The kernel raised it for an instruction (kill, tgkill and sigqueue give
// codes of 0 and below).
bool RaisedByTheProcessor(const siginfo_t* info) { return info && info->si_code > 0; }

// What the signal would have met without the guard.
void PassOn(int signal, siginfo_t* info, void* context) {
  const struct sigaction& previous = g_previous[SlotOf(signal)];
  if (previous.sa_handler == SIG_IGN) return;
  if (previous.sa_handler == SIG_DFL) {
    // The process ends as it would have: a fault repeats when the handler
    // returns and meets the default action; a sent signal is sent again
    // and arrives when the handler returns.
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    if (!RaisedByTheProcessor(info)) raise(signal);
    return;
  }
  if (previous.sa_flags & SA_SIGINFO)
    previous.sa_sigaction(signal, info, context);
  else
    previous.sa_handler(signal);
}

void OnFault(int signal, siginfo_t* info, void* context) {
  RecoveryPoint* recovery = t_recovery;
  if (recovery && RaisedByTheProcessor(info)) {
    t_recovery = nullptr;
    siglongjmp(recovery->jump, 1);
  }
  PassOn(signal, info, context);
}

// The SDK unloaded puts back what the guard replaced.
struct RestoreAtUnload {
  ~RestoreAtUnload() { RestoreReplacedFaultHandlers(); }
} g_restoreAtUnload;

void Install() {
  std::call_once(g_installOnce, [] {
    struct sigaction handler = {};
    handler.sa_sigaction = OnFault;
    handler.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&handler.sa_mask);
    for (size_t i = 0; i < kSignalCount; ++i) sigaction(kFaultSignals[i], &handler, &g_previous[i]);
  });
}

}  // namespace

void RestoreReplacedFaultHandlers() {
  for (size_t i = 0; i < kSignalCount; ++i) {
    struct sigaction current = {};
    if (sigaction(kFaultSignals[i], nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) &&
        current.sa_sigaction == OnFault)
      sigaction(kFaultSignals[i], &g_previous[i], nullptr);
  }
}

GuardedCall GuardedDecodeFrameVideo(int32_t decoder, DecodeRequest* request, int32_t* result) {
  Install();
  RecoveryPoint recovery;
  if (sigsetjmp(recovery.jump, 1)) return GuardedCall::kFaulted;
  t_recovery = &recovery;
  *result = CODECAPI_DecodeFrameVideo(decoder, 0, request);
  t_recovery = nullptr;
  return GuardedCall::kReturned;
}

GuardedCall GuardedDecodeUninit(int32_t decoder) {
  Install();
  RecoveryPoint recovery;
  if (sigsetjmp(recovery.jump, 1)) return GuardedCall::kFaulted;
  t_recovery = &recovery;
  CODECAPI_DecodeUninit(decoder);
  t_recovery = nullptr;
  return GuardedCall::kReturned;
}

void LeaveFaultGuard() { t_recovery = nullptr; }

FaultGuardLift::FaultGuardLift() : lifted_(t_recovery) { t_recovery = nullptr; }

FaultGuardLift::~FaultGuardLift() { t_recovery = static_cast<RecoveryPoint*>(lifted_); }
