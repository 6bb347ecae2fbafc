// The processor-exception guard around the calls into the video decoding
// library. The library is outside this code (on Windows a closed DLL, here
// C code with a history of memory-safety fixes): a fault it raises inside a
// guarded call, on the calling thread, comes back to the guard as
// GuardedCall::kFaulted instead of ending the application. The library's
// state is then not to be trusted; the caller gives that decoder up.
//
// Only faults of the processor (bad memory access, illegal instruction,
// arithmetic trap) raised while this thread is inside a guarded call are
// taken. Every other one (another thread's, the SDK's own code's, a signal
// sent by a process, a stack overflow) goes to whatever handler was there
// before: the application's, or the system's default.
//
// POSIX: handlers for SIGSEGV, SIGBUS, SIGILL and SIGFPE, installed on the
// first guarded call and chained to the ones they replace; the recovery
// point is taken with sigsetjmp. Windows: a vectored exception handler that
// resumes the faulting thread at its recovery point. The function holding
// the recovery point calls the library directly: no frame of this code with
// anything to destroy or unlock lies between them.
#pragma once
#include <cstdint>

#include "decoder_api.h"

enum class GuardedCall { kReturned, kFaulted };

// CODECAPI_DecodeFrameVideo (decoder, 0, request) under the guard; its
// result goes to *result when it returned.
GuardedCall GuardedDecodeFrameVideo(int32_t decoder, DecodeRequest* request, int32_t* result);
// CODECAPI_DecodeUninit (decoder) under the guard: a decoder that faulted
// may fault again while it is freed, and is then left as it is.
GuardedCall GuardedDecodeUninit(int32_t decoder);
// Ends this thread's guarded call without its return: for a C++ exception
// that came out of the library through the guard's frame.
void LeaveFaultGuard();

#ifndef _WIN32
// Puts back the handlers the guard replaced, for each signal whose handler
// is still the guard's (another installed since stays): what unloading the
// SDK does. On Windows the vectored handler goes with the SDK.
void RestoreReplacedFaultHandlers();
#endif

// Lifts this thread's guard while the object lives: the library runs the
// picture callback inside the guarded call, and a fault in the SDK's own
// code there is not the library's to lose.
class FaultGuardLift {
 public:
  FaultGuardLift();
  ~FaultGuardLift();
  FaultGuardLift(const FaultGuardLift&) = delete;
  FaultGuardLift& operator=(const FaultGuardLift&) = delete;

 private:
  void* const lifted_;
};
