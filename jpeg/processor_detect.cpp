// Processor kind detection: CPUID leaves 0 and 1 into the process-wide
// ProcessorInfo, the "USECPU" registry override, and the classification of
// family and feature bits into a ProcessorKind.
#include <cstring>

#include "processor_dispatch.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

#if defined(__i386__) || defined(__x86_64__)
// XGETBV, only executed when CPUID reports OSXSAVE; its own target
// attribute keeps the rest of the file at the baseline instruction set.
__attribute__((target("xsave"))) uint64_t read_xcr0() { return _xgetbv(0); }
#endif

ProcessorInfo blank_processor_info() {
  ProcessorInfo info{};
  std::memset(info.vendor, ' ', 12);
  info.vendor[12] = '\0';
  return info;
}

}  // namespace

ProcessorInfo read_processor_info() {
  ProcessorInfo info = blank_processor_info();
#if defined(__i386__) || defined(__x86_64__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) return info;
  std::memcpy(info.vendor + 0, &ebx, 4);
  std::memcpy(info.vendor + 4, &edx, 4);
  std::memcpy(info.vendor + 8, &ecx, 4);
  const unsigned max_leaf = eax;
  if (max_leaf == 0) return info;
  __cpuid(1, eax, ebx, ecx, edx);
  info.brand_index = ebx & 0xff;
  info.processor_type = (eax >> 12) & 0x3;
  info.family = (eax >> 8) & 0xf;
  info.model = (eax >> 4) & 0xf;
  info.stepping = eax & 0xf;
  info.features = edx;
  const bool osxsave = ecx & (1u << 27);
  if (max_leaf >= 7) {
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    info.extended_features = ebx;
  }
  if (osxsave) info.ymm_enabled = (read_xcr0() & 0x6) == 0x6;
#endif
  return info;
}

int32_t read_cpu_override(const JpegOps& ops) {
  if (!ops.reg_open_key || !ops.reg_query_value || !ops.reg_close_key) return kNoCpuOverride;
  HKEY key = nullptr;
  if (ops.reg_open_key(HKEY_LOCAL_MACHINE, kCpuOverrideKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return kNoCpuOverride;
  }
  // The value's type is not examined: its first four bytes are the number.
  int32_t value = kNoCpuOverride;
  DWORD size = sizeof(value);
  if (ops.reg_query_value(key, kCpuOverrideValue, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size) !=
      ERROR_SUCCESS) {
    value = kNoCpuOverride;
  }
  ops.reg_close_key(key);
  return value;
}

namespace {

bool runs_avx2(const ProcessorInfo& info) {
  return (info.features & kFeatureSse2) && (info.extended_features & kExtendedFeatureAvx2) && info.ymm_enabled;
}

}  // namespace

ProcessorKind classify_processor(const ProcessorInfo& info, int32_t cpu_override) {
  if (cpu_override >= CPU_GENERIC && cpu_override <= CPU_FAMILY15_SSE2) {
    return static_cast<ProcessorKind>(cpu_override);
  }
  const bool mmx = info.features & kFeatureMmx;
  const bool sse = info.features & kFeatureSse;
  const bool sse2 = info.features & kFeatureSse2;
  if (runs_avx2(info)) return CPU_AVX2;
  switch (info.family) {
    case 5:
      return mmx ? CPU_FAMILY5_MMX : CPU_FAMILY5;
    case 6:
      if (mmx) return sse ? CPU_FAMILY6_MMX_SSE : CPU_FAMILY6_MMX;
      return CPU_FAMILY6;
    case 15:
      return sse2 ? CPU_FAMILY15_SSE2 : CPU_GENERIC;
    default:
      return CPU_GENERIC;
  }
}

// Read once per process (thread-safe initialisation): the processor does
// not change while the process runs, and records initialised on several
// threads at once then share one value instead of racing to rewrite it.
const ProcessorInfo& current_processor_info() {
  static const ProcessorInfo info = read_processor_info();
  return info;
}

ProcessorKind detect_processor_kind(const JpegOps& ops) {
  return classify_processor(current_processor_info(), read_cpu_override(ops));
}

SimdLevel simd_level_of(ProcessorKind kind, const ProcessorInfo& info) {
  if (kind == CPU_AVX2 && runs_avx2(info)) return SimdLevel::kAvx2;
  if (kind >= CPU_FAMILY5_MMX && (info.features & kFeatureSse2)) return SimdLevel::kSse2;
  return SimdLevel::kNone;
}
