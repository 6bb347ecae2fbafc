// The decoding library's fault guard on Windows (decode_fault_guard.h): a
// vectored exception handler, first in the process's list, that takes the
// processor exceptions of a thread inside a guarded call and resumes that
// thread in ReturnToRecoveryPoint, which jumps back to the guard. Leaving
// the exception dispatch that way, instead of jumping from inside the
// handler, lets the system finish its dispatch first. The 32-bit system
// keeps a chain of exception records on the stack: the guard puts its head
// back as it was when the guarded call began. The handler goes with the
// library that holds it, at unload.
#include <windows.h>
#include <intrin.h>

#include <cstdint>
#include <mutex>

#include "decode_fault_guard.h"

namespace {

struct RecoveryPoint {
  void* jump[5];  // __builtin_setjmp's buffer
#if !defined(_WIN64)
  DWORD exceptionChain;
#endif
};

bool IsProcessorFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
      return true;
    default:
      return false;  // software exceptions (C++ among them), breakpoints, stack overflow
  }
}

// This thread's recovery point, in a TLS slot that the handler reads
// without allocating.
struct Guard {
  DWORD slot = TlsAlloc();
  void* handler = nullptr;
  ~Guard() {
    if (handler) RemoveVectoredExceptionHandler(handler);
    if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
  }
};

Guard& TheGuard();

[[noreturn]] void __cdecl ReturnToRecoveryPoint(RecoveryPoint* recovery) {
#if !defined(_WIN64)
  __writefsdword(0, recovery->exceptionChain);
#endif
  __builtin_longjmp(recovery->jump, 1);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* exception) {
  if (!IsProcessorFault(exception->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
  const DWORD lastError = GetLastError();  // the application's, if the fault is not taken
  Guard& guard = TheGuard();
  auto* recovery = static_cast<RecoveryPoint*>(TlsGetValue(guard.slot));
  if (!recovery) {
    SetLastError(lastError);
    return EXCEPTION_CONTINUE_SEARCH;
  }
  TlsSetValue(guard.slot, nullptr);
  // A call of ReturnToRecoveryPoint (recovery), on the stack below the
  // faulting frame, aligned as a call leaves it.
  CONTEXT* context = exception->ContextRecord;
#if defined(_WIN64)
  const uintptr_t stack = ((context->Rsp - 256) & ~uintptr_t{15}) - 8;
  context->Rcx = reinterpret_cast<DWORD64>(recovery);
  context->Rsp = stack;
  context->Rip = reinterpret_cast<DWORD64>(&ReturnToRecoveryPoint);
#else
  const uintptr_t stack = ((context->Esp - 256) & ~uintptr_t{15}) - 4;
  reinterpret_cast<RecoveryPoint**>(stack)[1] = recovery;
  context->Esp = static_cast<DWORD>(stack);
  context->Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&ReturnToRecoveryPoint));
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

Guard& TheGuard() {
  static Guard guard;
  return guard;
}

void Install() {
  static std::once_flag once;
  std::call_once(once, [] {
    Guard& guard = TheGuard();
    if (guard.slot != TLS_OUT_OF_INDEXES) guard.handler = AddVectoredExceptionHandler(1, OnException);
  });
}

void Arm(RecoveryPoint* recovery) {
#if !defined(_WIN64)
  recovery->exceptionChain = __readfsdword(0);
#endif
  TlsSetValue(TheGuard().slot, recovery);
}

}  // namespace

GuardedCall GuardedDecodeFrameVideo(int32_t decoder, DecodeRequest* request, int32_t* result) {
  Install();
  RecoveryPoint recovery;
  if (__builtin_setjmp(recovery.jump)) return GuardedCall::kFaulted;
  Arm(&recovery);
  *result = CODECAPI_DecodeFrameVideo(decoder, 0, request);
  LeaveFaultGuard();
  return GuardedCall::kReturned;
}

GuardedCall GuardedDecodeUninit(int32_t decoder) {
  Install();
  RecoveryPoint recovery;
  if (__builtin_setjmp(recovery.jump)) return GuardedCall::kFaulted;
  Arm(&recovery);
  CODECAPI_DecodeUninit(decoder);
  LeaveFaultGuard();
  return GuardedCall::kReturned;
}

void LeaveFaultGuard() { TlsSetValue(TheGuard().slot, nullptr); }

FaultGuardLift::FaultGuardLift() : lifted_(TlsGetValue(TheGuard().slot)) { LeaveFaultGuard(); }

FaultGuardLift::~FaultGuardLift() { TlsSetValue(TheGuard().slot, lifted_); }
