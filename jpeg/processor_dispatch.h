// Processor dispatch: which processor the decoder runs on (CPUID), an
// optional override from the registry value "USECPU", and the ways of
// filling a JpegOps table (generic, MMX tables A to D, AVX2).
//
// Classification is a pure function of ProcessorInfo and the override, so
// every family / feature combination can be tested without that processor.
#pragma once
#include <cstdint>

#include "jpeg_ops.h"

struct ProcessorInfo {
  uint32_t brand_index;     // CPUID 1, EBX bits 0-7
  uint32_t processor_type;  // CPUID 1, EAX bits 12-13
  uint32_t family;          // CPUID 1, EAX bits 8-11
  uint32_t model;           // CPUID 1, EAX bits 4-7
  uint32_t stepping;        // CPUID 1, EAX bits 0-3
  uint32_t features;        // CPUID 1, EDX
  uint32_t extended_features;  // CPUID 7.0, EBX
  bool ymm_enabled;         // OSXSAVE, and the OS saves XMM and YMM state (XCR0)
  char vendor[13];          // CPUID 0, EBX EDX ECX, zero-terminated
};

enum ProcessorKind : int32_t {
  CPU_GENERIC = 0,
  CPU_FAMILY5 = 1,          // family 5 without MMX
  CPU_FAMILY6 = 2,          // family 6 without MMX
  CPU_FAMILY5_MMX = 3,      // MMX table A
  CPU_FAMILY6_MMX = 4,      // MMX table B
  CPU_FAMILY6_MMX_SSE = 5,  // MMX table C
  CPU_FAMILY15_SSE2 = 6,    // MMX table D
  CPU_AVX2 = 7,             // AVX2 with OS support, whatever the family
};

// The instruction set whose members a table holds.
enum class SimdLevel { kNone, kSse2, kAvx2 };

constexpr uint32_t kFeatureMmx = 1u << 23;
constexpr uint32_t kFeatureSse = 1u << 25;
constexpr uint32_t kFeatureSse2 = 1u << 26;
constexpr uint32_t kExtendedFeatureAvx2 = 1u << 5;
// Override value meaning "none": the registry value is absent or unreadable.
constexpr int32_t kNoCpuOverride = -1;

// Registry location of the override.
inline constexpr const char* kCpuOverrideKey = "Software\\Zivaz Corporation\\RODiruz\\VERiz";
inline constexpr const char* kCpuOverrideValue = "USECPU";

// Executes CPUID leaves 0 and 1; all zero with a blank vendor where the
// instruction is unavailable.
ProcessorInfo read_processor_info();
// Reads "USECPU" through the table's resolved registry functions;
// kNoCpuOverride without them or without the value.
int32_t read_cpu_override(const JpegOps& ops);
// An override of 0..6 is the kind, 7 is the kind when `info` has AVX2;
// anything else classifies `info`.
ProcessorKind classify_processor(const ProcessorInfo& info, int32_t cpu_override);
// The members a table of `kind` holds on a processor described by `info`:
// AVX2 for its kind, SSE2 for the MMX tables where the processor has SSE2
// (a forced kind never installs code the processor cannot run), else none.
SimdLevel simd_level_of(ProcessorKind kind, const ProcessorInfo& info);
// Kind detection: classifies the process-wide ProcessorInfo with the override.
ProcessorKind detect_processor_kind(const JpegOps& ops);
// The processor's CPUID values, read once per process.
const ProcessorInfo& current_processor_info();

// Writes entry 6 and all 62 slots for `kind` (null where a slot is empty),
// and the grey expanders the record keeps beside the table.
void fill_jpeg_ops(JpegOps& ops, SideMembers& side_members, ProcessorKind kind);
// Loads advapi32 and resolves its three registry functions (entries 2..5),
// detects the kind and fills the table and the expanders. Returns the kind.
ProcessorKind dispatch_jpeg_ops(JpegOps& ops, SideMembers& side_members);
// Unloads advapi32 and clears entries 2..5.
void release_jpeg_ops(JpegOps& ops);
