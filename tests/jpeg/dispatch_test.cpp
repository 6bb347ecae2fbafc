// Processor dispatch: the classification of family and feature bits, the
// "USECPU" registry override, and where the table fill puts its members.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <utility>

#include "marker_stream.h"
#include "tests/common/temporary_registry.h"
#include "processor_dispatch.h"

namespace {

ProcessorInfo processor(uint32_t family, uint32_t features) {
  ProcessorInfo info{};
  info.family = family;
  info.features = features;
  return info;
}

TEST(ProcessorKind, ComesFromFamilyAndFeatureBits) {
  constexpr uint32_t mmx = kFeatureMmx, sse = kFeatureSse, sse2 = kFeatureSse2;
  struct Case {
    uint32_t family, features;
    ProcessorKind kind;
  };
  const Case cases[] = {
      {5, 0, CPU_FAMILY5},
      {5, mmx, CPU_FAMILY5_MMX},
      {5, mmx | sse | sse2, CPU_FAMILY5_MMX},
      {6, 0, CPU_FAMILY6},
      {6, sse, CPU_FAMILY6},  // SSE without MMX
      {6, mmx, CPU_FAMILY6_MMX},
      {6, mmx | sse, CPU_FAMILY6_MMX_SSE},
      {6, mmx | sse | sse2, CPU_FAMILY6_MMX_SSE},
      {15, 0, CPU_GENERIC},
      {15, mmx | sse, CPU_GENERIC},
      {15, sse2, CPU_FAMILY15_SSE2},
      {15, mmx | sse | sse2, CPU_FAMILY15_SSE2},
      {4, mmx | sse | sse2, CPU_GENERIC},
      // The bits where CPUID leaf 1 reports them in EDX: MMX 23, SSE 25, SSE2 26.
      {5, 0x00800000, CPU_FAMILY5_MMX},
      {6, 0x02800000, CPU_FAMILY6_MMX_SSE},
      {15, 0x04000000, CPU_FAMILY15_SSE2},
      {0, 0, CPU_GENERIC},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classify_processor(processor(c.family, c.features), kNoCpuOverride), c.kind)
        << "family " << c.family << " features " << std::hex << c.features;
  }
}

// The detection reads the feature bits this processor has, as the
// compiler's runtime reads them.
TEST(ProcessorKind, DetectionReadsThisProcessorsFeatureBits) {
#if defined(__i386__) || defined(__x86_64__)
  const ProcessorInfo& info = current_processor_info();
  EXPECT_EQ((info.features & kFeatureMmx) != 0, __builtin_cpu_supports("mmx") != 0);
  EXPECT_EQ((info.features & kFeatureSse) != 0, __builtin_cpu_supports("sse") != 0);
  EXPECT_EQ((info.features & kFeatureSse2) != 0, __builtin_cpu_supports("sse2") != 0);
  const char* vendor = __builtin_cpu_is("intel") ? "GenuineIntel" : __builtin_cpu_is("amd") ? "AuthenticAMD" : info.vendor;
  EXPECT_STREQ(info.vendor, vendor);
#endif
}

TEST(ProcessorKind, AnOverrideOfZeroToSixWins) {
  const ProcessorInfo sse2_machine = processor(15, kFeatureMmx | kFeatureSse | kFeatureSse2);
  for (int32_t kind = 0; kind <= 6; ++kind) EXPECT_EQ(classify_processor(sse2_machine, kind), kind);
  for (int32_t ignored : {7, -1, -2, 100}) {
    EXPECT_EQ(classify_processor(sse2_machine, ignored), CPU_FAMILY15_SSE2) << ignored;
  }
  // The numbers an override names are those detection gives each kind.
  constexpr uint32_t mmx = kFeatureMmx;
  const std::pair<ProcessorInfo, int32_t> detected[] = {
      {processor(4, 0), 0},   {processor(5, 0), 1},           {processor(6, 0), 2},
      {processor(5, mmx), 3}, {processor(6, mmx), 4},         {processor(6, mmx | kFeatureSse), 5},
      {sse2_machine, 6}};
  for (const auto& [info, number] : detected) EXPECT_EQ(classify_processor(info, kNoCpuOverride), number) << number;
}

TEST(ProcessorKind, Avx2NeedsTheFeatureAndTheOperatingSystemState) {
  struct Case {
    uint32_t family, features, extended;
    bool ymm;
    int32_t cpu_override;
    ProcessorKind kind;
    SimdLevel members;
  };
  constexpr uint32_t sse2 = kFeatureMmx | kFeatureSse | kFeatureSse2, avx2 = kExtendedFeatureAvx2;
  const Case cases[] = {
      {6, sse2, avx2, true, kNoCpuOverride, CPU_AVX2, SimdLevel::kAvx2},
      {6, sse2, 0x20, true, kNoCpuOverride, CPU_AVX2, SimdLevel::kAvx2},  // bit 5 of leaf 7's EBX
      {6, sse2, 0x40, true, kNoCpuOverride, CPU_FAMILY6_MMX_SSE, SimdLevel::kSse2},
      {15, sse2, avx2, true, kNoCpuOverride, CPU_AVX2, SimdLevel::kAvx2},
      {6, sse2, avx2, false, kNoCpuOverride, CPU_FAMILY6_MMX_SSE, SimdLevel::kSse2},  // OS keeps no YMM state
      {6, sse2, 0, true, kNoCpuOverride, CPU_FAMILY6_MMX_SSE, SimdLevel::kSse2},
      {6, kFeatureMmx | kFeatureSse, avx2, true, kNoCpuOverride, CPU_FAMILY6_MMX_SSE, SimdLevel::kNone},
      {6, sse2, avx2, true, 7, CPU_AVX2, SimdLevel::kAvx2},
      {15, sse2, 0, true, 7, CPU_FAMILY15_SSE2, SimdLevel::kSse2},  // never forced up
      {6, sse2, avx2, true, 6, CPU_FAMILY15_SSE2, SimdLevel::kSse2},
      {6, sse2, avx2, true, 3, CPU_FAMILY5_MMX, SimdLevel::kSse2},
      {6, sse2, avx2, true, 2, CPU_FAMILY6, SimdLevel::kNone},
      {6, sse2, avx2, true, 0, CPU_GENERIC, SimdLevel::kNone},
      {5, kFeatureMmx, 0, false, 6, CPU_FAMILY15_SSE2, SimdLevel::kNone},  // forced kind without SSE2
  };
  for (const Case& c : cases) {
    ProcessorInfo info = processor(c.family, c.features);
    info.extended_features = c.extended;
    info.ymm_enabled = c.ymm;
    const ProcessorKind kind = classify_processor(info, c.cpu_override);
    EXPECT_EQ(kind, c.kind) << "family " << c.family << " override " << c.cpu_override;
    EXPECT_EQ(simd_level_of(kind, info), c.members) << "family " << c.family << " override " << c.cpu_override;
  }
}

class CpuOverride : public ::testing::Test {
 protected:
  void write_value(const std::string& value_line) {
    registry_.write("Windows Registry Editor Version 5.00\r\n"
                    "[HKEY_LOCAL_MACHINE\\Software\\Zivaz Corporation\\RODiruz\\VERiz]\r\n" +
                    value_line + "\r\n");
  }
  static ProcessorKind detected() { return classify_processor(current_processor_info(), kNoCpuOverride); }

  vkt::test::TemporaryRegistry registry_;
};

TEST_F(CpuOverride, ZeroForcesTheGenericTable) {
  write_value("\"USECPU\"=dword:00000000");
  DecoderRecord record;
  EXPECT_EQ(record.state().processor_kind, CPU_GENERIC);
  EXPECT_EQ(record.state().ops.multimedia_end, nullptr);
  EXPECT_NE(record.state().ops.decode_block, nullptr);
}

TEST_F(CpuOverride, AForcedKindIsTakenWhateverTheProcessor) {
  write_value("\"USECPU\"=dword:00000003");
  DecoderRecord record;
  EXPECT_EQ(record.state().processor_kind, CPU_FAMILY5_MMX);
}

TEST_F(CpuOverride, SevenOrAbsentFallsBackToDetection) {
  write_value("\"USECPU\"=dword:00000007");
  {
    DecoderRecord record;
    EXPECT_EQ(record.state().processor_kind, detected());
  }
  write_value("\"Other\"=dword:00000000");
  {
    DecoderRecord record;
    EXPECT_EQ(record.state().processor_kind, detected());
  }
  registry_.write("");  // no key at all
  DecoderRecord record;
  EXPECT_EQ(record.state().processor_kind, detected());
}

TEST(JpegOpsTable, FillsExactlyTheReadingSlots) {
  DecoderRecord record;
  const JpegOps& ops = record.state().ops;
  ASSERT_EQ(sizeof(JpegOps) / sizeof(void*), static_cast<size_t>(kJpegOpsEntries));
  void* entries[kJpegOpsEntries];
  std::memcpy(entries, &ops, sizeof(entries));
  // Entries 2..5: advapi32 and its three registry functions; slots 3..10
  // (entries 9..16): the transforms; slots 55, 56 (entries 61, 62): the
  // block decoders; slots 60..62 (entries 66..68): the dequantisers;
  // slots 35..53 (entries 41..59): the MCU converters.
  for (int entry = 0; entry < kJpegOpsEntries; ++entry) {
    const bool filled = (entry >= 2 && entry <= 5) || (entry >= 9 && entry <= 16) || entry == 61 || entry == 62 ||
                        (entry >= 41 && entry <= 59) ||
                        (entry >= 66 && entry <= 68);
    if (entry == 0) continue;  // the last SOS length, a number
    EXPECT_EQ(entries[entry] != nullptr, filled) << "entry " << entry;
  }
}

TEST(JpegOpsTable, CurrentSlotsFollowTheTransformKind) {
  DecoderRecord record;
  JpegOps& ops = record.state().ops;
  select_current_transforms(ops, 1);
  EXPECT_EQ(ops.current_idct_8x8, ops.idct_precise_8x8);
  EXPECT_EQ(ops.current_idct_2x2, ops.idct_precise_2x2);
  EXPECT_EQ(ops.current_dequantise, ops.dequantise_precise);
  select_current_transforms(ops, 0);
  EXPECT_EQ(ops.current_idct_4x4, ops.idct_fast_4x4);
  EXPECT_EQ(ops.current_idct_1x1, ops.idct_fast_1x1);
  EXPECT_EQ(ops.current_dequantise, ops.dequantise_fast);
  EXPECT_NE(ops.idct_fast_8x8, ops.idct_precise_8x8);
}

}  // namespace
