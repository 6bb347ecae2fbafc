// The stream container reader on hand-made blocks: parameter set
// extraction, the box walk, and the Annex-B rewrite, with malformed input
// that must be refused without reading or writing out of bounds; and the
// picture order counts read from hand-made H.264 headers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "h264_picture_order.h"
#include "h264_stream.h"
#include "stream_parser.h"

using vkt::devsim::appendQbox;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A unit with its 4-byte length in front.
Bytes Unit(Bytes unit) { return Cat({Be32(uint32_t(unit.size())), unit}); }

Bytes Box(uint16_t streamType, const Bytes& payload, uint32_t flags = 1, uint32_t sampleFlags = 0) {
  Bytes out;
  appendQbox(out, streamType, flags, sampleFlags, 0, payload);
  return out;
}

const Bytes kSps = {0x67, 0x42, 0x00, 0x1e, 0xab};
const Bytes kPps = {0x68, 0xce, 0x38, 0x80};
const Bytes kStart = {0, 0, 0, 1};

// Reads a copy of the block from an exact-size heap buffer, so that
// AddressSanitizer sees any read past its end.
template <typename F>
auto OnExactCopy(const Bytes& bytes, F f) {
  std::vector<uint8_t> exact(bytes);
  exact.shrink_to_fit();
  return f(exact.data(), exact.size());
}

QboxHeader HeaderOf(const Bytes& box) {
  QboxHeader header{};
  EXPECT_TRUE(ReadQboxHeader(box.data(), box.size(), &header));
  return header;
}

// Writes the fields of H.264 headers: fixed-width bits and exp-Golomb codes.
class FieldWriter {
 public:
  FieldWriter& Bits(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i, ++used_) {
      if (used_ % 8 == 0) bytes_.push_back(0);
      bytes_.back() |= uint8_t((value >> i & 1) << (7 - used_ % 8));
    }
    return *this;
  }
  FieldWriter& Ue(uint32_t value, int times = 1) {
    int length = 0;
    while ((uint64_t{value} + 1) >> (length + 1)) ++length;
    for (int i = 0; i < times; ++i) Bits(0, length).Bits(value + 1, length + 1);
    return *this;
  }
  // A sequence's fields after its profile's own: 4-bit frame_num, order
  // type 0 with 4-bit low bits, one reference frame, one macroblock, frames only.
  FieldWriter& OrderTypeZeroRest() { return Ue(0).Ue(0).Ue(0).Ue(1).Bits(0, 1).Ue(0).Ue(0).Bits(1, 1); }
  // The unit as an encoder sends it: a 3 after two zero bytes before any byte of 0 to 3.
  Bytes Unit(uint8_t header) const {
    Bytes out = {header};
    int zeros = 0;
    for (const uint8_t byte : bytes_) {
      if (zeros >= 2 && byte <= 3) out.push_back(3), zeros = 0;
      zeros = byte == 0 ? zeros + 1 : 0;
      out.push_back(byte);
    }
    return out;
  }

 private:
  Bytes bytes_;
  int used_ = 0;
};

}  // namespace

TEST(StreamParser, ExtractsParameterSetsInStreamOrder) {
  const Bytes slice = {0x65, 1, 2, 3};
  const Bytes area = Cat({Box(2, Cat({Unit(kSps), Unit(slice), Unit(kPps)})), Box(1, {9, 9, 9})});
  ParameterSets sets;
  const uint32_t total = OnExactCopy(area, [&](const uint8_t* p, size_t n) { return ExtractParameterSets(p, n, sets); });
  EXPECT_EQ(total, sets.size());
  EXPECT_EQ(sets, Cat({kStart, kSps, kStart, kPps}));
}

// Sets far beyond the 100 bytes older devices' streams held (High-profile
// sets with timing information) are taken whole, from a header's area or
// in band from a key frame's units; beyond the limit they are refused.
TEST(StreamParser, TakesLargeParameterSetsFromTheAreaOrInBand) {
  const Bytes bigSps = Cat({kSps, Bytes(200, 0x5A)});
  const Bytes hugeSps = Cat({kSps, Bytes(kMaxParameterSetBytes, 0x5A)});
  const Bytes keyFrame = Box(2, Cat({Unit(bigSps), Unit(kPps), Unit({0x65, 1, 2})}), 1, kSampleFlagKeyFrame);
  const struct {
    const char* name;
    bool inBand;
    Bytes bytes;
    Bytes expected;  // empty: refused
  } cases[] = {
      {"200-byte set in the area", false, Box(2, Cat({Unit(bigSps), Unit(kPps)})), Cat({kStart, bigSps, kStart, kPps})},
      {"300-byte set in band", true, Cat({Box(1, {1, 2}), Box(2, Cat({Unit(Cat({kSps, Bytes(295, 0)})), Unit(kPps)}))}),
       Cat({kStart, kSps, Bytes(295, 0), kStart, kPps})},
      {"key frame with its sets", true, keyFrame, Cat({kStart, bigSps, kStart, kPps})},
      {"beyond the limit, in the area", false, Box(2, Unit(hugeSps)), {}},
      {"beyond the limit, in band", true, Box(2, Unit(hugeSps)), {}},
      {"in band, none", true, Box(2, Unit({0x65, 1})), {}},
      {"in band, cut short", true, Box(2, Cat({Be32(40), kSps})), {}},
      {"in band, a set cut after its type byte", true, Box(2, Cat({Unit(kSps), Unit(kPps), Be32(40), {0x67}})),
       {}},
  };
  for (const auto& c : cases) {
    ParameterSets sets = {9, 9};
    const uint32_t total = OnExactCopy(c.bytes, [&](const uint8_t* p, size_t n) {
      return c.inBand ? ExtractInBandParameterSets(p, n, sets) : ExtractParameterSets(p, n, sets);
    });
    EXPECT_EQ(total, c.expected.size()) << c.name;
    EXPECT_EQ(sets, c.expected.empty() ? ParameterSets({9, 9}) : c.expected) << c.name;
  }
}

TEST(StreamParser, RefusesBadParameterAreasAndKeepsTheSets) {
  const Bytes good = Box(2, Cat({Unit(kSps), Unit(kPps)}));
  Bytes wrongType = good;
  std::memcpy(wrongType.data() + 4, "qbix", 4);
  Bytes sizeZero = good;
  std::memset(sizeZero.data(), 0, 4);
  Bytes sizePastArea = good;
  sizePastArea[3] += 1;
  Bytes setPastBox = Box(2, Cat({Be32(40), kSps}));
  const struct {
    const char* name;
    Bytes area;
  } cases[] = {
      {"empty", {}},
      {"shorter than a box header", Bytes(good.begin(), good.begin() + 23)},
      {"flags not exactly 1", Box(2, Cat({Unit(kSps)}), 3)},
      {"wrong box type", wrongType},
      {"size 0", sizeZero},
      {"box past the area", sizePastArea},
      {"parameter set past its box", setPastBox},
      {"no parameter set", Box(2, Unit({0x65, 1, 2}))},
      {"types 23 and 24: the whole 5-bit type counts", Box(2, Cat({Unit({0x77, 1, 2}), Unit({0x78, 3})}))},
      {"not video", Box(1, Unit(kSps))},
  };
  ParameterSets sets;
  ASSERT_GT(OnExactCopy(good, [&](const uint8_t* p, size_t n) { return ExtractParameterSets(p, n, sets); }), 0u);
  for (const auto& c : cases) {
    EXPECT_EQ(OnExactCopy(c.area, [&](const uint8_t* p, size_t n) { return ExtractParameterSets(p, n, sets); }), 0u)
        << c.name;
  }
  EXPECT_EQ(sets, Cat({kStart, kSps, kStart, kPps}));
}

// A session keeps its sets with their start codes: sets whose total, start
// codes included, is the capacity fit; one byte more is refused and keeps
// what the session held. A box of exactly a header's size is an empty box,
// not a malformed one.
TEST(StreamParser, ParameterSetCapacityAndBoxSizeAtTheirEdges) {
  const Bytes pps = {0x68, 1, 2, 3};
  const Bytes emptyBox = Box(2, {});
  ASSERT_EQ(emptyBox.size(), kQboxHeaderSize);
  const Bytes held = Cat({kStart, kSps, kStart, kPps});
  for (const int delta : {-1, 0, 1}) {
    SCOPED_TRACE(delta);
    Bytes sps(kMaxParameterSetBytes - 2 * kStart.size() - pps.size() + delta, 0x55);
    sps[0] = 0x67;
    const uint32_t expected = delta <= 0 ? kMaxParameterSetBytes + delta : 0;
    ParameterSets sets = held;
    EXPECT_EQ(OnExactCopy(Cat({emptyBox, Box(2, Cat({Unit(sps), Unit(pps)}))}),
                          [&](const uint8_t* p, size_t n) { return ExtractParameterSets(p, n, sets); }),
              expected);
    EXPECT_EQ(sets, expected ? Cat({kStart, sps, kStart, pps}) : held);
  }
  Bytes shortBox = emptyBox;
  shortBox[3] -= 1;  // one byte less than a header
  ParameterSets sets;
  EXPECT_EQ(OnExactCopy(Cat({shortBox, Box(2, Cat({Unit(kSps), Unit(kPps)}))}),
                        [&](const uint8_t* p, size_t n) { return ExtractParameterSets(p, n, sets); }),
            0u);
}

TEST(StreamParser, WalkStopsAtTheFirstMalformedBox) {
  const Bytes a = Box(2, Unit({0x65, 1}));
  const Bytes b = Box(1, {7, 7, 7});
  Bytes badType = b;
  std::memcpy(badType.data() + 4, "xbox", 4);
  Bytes tooShort = b;
  std::memcpy(tooShort.data(), Be32(8).data(), 4);
  Bytes tooLong = b;
  std::memcpy(tooLong.data(), Be32(uint32_t(b.size() + 1)).data(), 4);
  const struct {
    const char* name;
    Bytes run;
    size_t walked;
    int visits;
  } cases[] = {
      {"two good boxes", Cat({a, b}), a.size() + b.size(), 2},
      {"wrong type", Cat({a, badType, a}), a.size(), 1},
      {"size below the header", Cat({a, tooShort, a}), a.size(), 1},
      {"empty box", Cat({a, Box(1, {}), b}), a.size() + kQboxHeaderSize + b.size(), 3},
      {"size past the run", Cat({a, tooLong}), a.size(), 1},
      {"trailing partial header", Cat({a, Bytes(10, 0)}), a.size(), 1},
  };
  for (const auto& c : cases) {
    int visits = 0;
    const size_t walked = OnExactCopy(c.run, [&](const uint8_t* p, size_t n) {
      return WalkBoxes(p, n, [](void* v, const QboxHeader&, const uint8_t*) { ++*static_cast<int*>(v); }, &visits);
    });
    EXPECT_EQ(walked, c.walked) << c.name;
    EXPECT_EQ(visits, c.visits) << c.name;
  }
}

TEST(StreamParser, ConvertsVideoBoxesToAnnexB) {
  const Bytes unit5 = {0x41, 1, 2, 3, 4};
  const struct {
    const char* name;
    Bytes box;
    Bytes expected;
  } cases[] = {
      {"one unit", Box(2, Unit(unit5)), Cat({kStart, unit5})},
      {"stream type 5", Box(5, Unit(unit5)), Cat({kStart, unit5})},
      {"two units", Box(2, Cat({Unit(unit5), Unit({0x41})})), Cat({kStart, unit5, kStart, {0x41}})},
      {"1 to 3 trailing bytes kept", Box(2, Cat({Unit(unit5), {9, 8, 7}})), Cat({kStart, unit5, {9, 8, 7}})},
      {"unit past the box ends it", Box(2, Cat({Unit(unit5), Be32(100), {1, 2}})), Cat({kStart, unit5})},
      {"huge unit length", Box(2, Cat({Be32(0xFFFFFFFF), unit5})), {}},
      {"audio", Box(1, Unit(unit5)), {}},
      {"type 6", Box(6, Unit(unit5)), {}},
      {"flags without bit 0", Box(2, Unit(unit5), 2), {}},
  };
  for (const auto& c : cases) {
    Bytes out(64, 0xCC);
    const size_t n = OnExactCopy(c.box, [&](const uint8_t* p, size_t size) {
      QboxHeader header{};
      EXPECT_TRUE(ReadQboxHeader(p, size, &header));
      return ConvertToAnnexB(header, p, nullptr, out.data(), out.size());
    });
    EXPECT_EQ(Bytes(out.begin(), out.begin() + n), c.expected) << c.name;
  }
}

// The sets go in front only when they fit whole; then each unit that still
// fits follows.
TEST(StreamParser, PrefixesTheParameterSetsWhenTheyFit) {
  const ParameterSets sets = Cat({kStart, kSps, kStart, kPps});
  const Bytes unit = Cat({kStart, {0x65, 0xAA}});
  const Bytes box = Box(2, Unit({0x65, 0xAA}));
  const size_t p = sets.size(), u = unit.size();
  const struct {
    size_t capacity;
    Bytes expected;
  } cases[] = {
      {p - 1, unit}, {p, sets}, {p + u - 1, sets}, {p + u, Cat({sets, unit})}, {64, Cat({sets, unit})},
  };
  for (const auto& c : cases) {
    Bytes out(c.capacity);
    const size_t n = ConvertToAnnexB(HeaderOf(box), box.data(), &sets, out.data(), out.size());
    EXPECT_EQ(Bytes(out.begin(), out.begin() + n), c.expected) << c.capacity;
  }
}

TEST(StreamParser, NeverWritesPastTheOutputCapacity) {
  const Bytes box = Box(2, Cat({Unit(Bytes(10, 0x41)), Unit(Bytes(10, 0x41)), {1, 2, 3}}));
  // Every capacity from 0 up: the output stops at a whole unit and the
  // guard bytes behind the capacity stay untouched.
  for (size_t capacity = 0; capacity <= 32; ++capacity) {
    Bytes out(capacity + 8, 0xCC);
    const size_t n = ConvertToAnnexB(HeaderOf(box), box.data(), nullptr, out.data(), capacity);
    EXPECT_LE(n, capacity);
    EXPECT_TRUE(n == 0 || n == 14 || n == 28 || n == 31) << n;
    for (size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xCC) << capacity;
  }
}

// Each row is a run of units ending with an IDR slice whose order count's
// low bits are 6; the count is read through the sequence fields each
// profile adds (chroma format, scaling lists), and a sequence that does not
// parse, or an order type that does not exist, leaves it unknown.
TEST(PictureOrder, ReadsTheCountThroughEachProfilesFields) {
  const Bytes pps = FieldWriter().Ue(0).Ue(0).Bits(1, 1).Unit(0x68);
  const Bytes idr = FieldWriter().Ue(0).Ue(7).Ue(0).Bits(0, 4).Ue(0).Bits(6, 4).Unit(0x65);
  // An idr_pic_id of 25 leading zeros: the header carries two escaped bytes.
  const Bytes escapedIdr = FieldWriter().Ue(0).Ue(7).Ue(0).Bits(0, 4).Ue((1u << 25) - 1).Bits(6, 4).Unit(0x65);
  const Bytes baseline = FieldWriter().Bits(66, 8).Bits(0x1e, 16).Ue(0).OrderTypeZeroRest().Unit(0x67);
  // Profile 100's fields up to its scaling matrix flag: 4:2:0, 8 bits.
  const FieldWriter high = FieldWriter().Bits(100, 8).Bits(0x1e, 16).Ue(0).Ue(1).Ue(0).Ue(0).Bits(0, 1);
  const Bytes absentLists = FieldWriter(high).Bits(1, 1).Bits(0, 8).OrderTypeZeroRest().Unit(0x67);
  const Bytes hugeDelta = FieldWriter(high).Bits(3, 2).Ue(0xFFFFFFFD).Ue(0, 15).Bits(0, 7).OrderTypeZeroRest().Unit(0x67);
  const Bytes listOfDeltaNine = FieldWriter(high).Bits(3, 2).Ue(17).Ue(0, 15).Bits(0, 7).OrderTypeZeroRest().Unit(0x67);
  const Bytes profile44 =
      FieldWriter().Bits(44, 8).Bits(0x1e, 16).Ue(0).Ue(1).Ue(0).Ue(0).Bits(0, 2).OrderTypeZeroRest().Unit(0x67);
  const Bytes type3 =
      FieldWriter().Bits(66, 8).Bits(0x1e, 16).Ue(0).Ue(0).Ue(3).Ue(1).Bits(0, 1).Ue(0, 2).Bits(1, 1).Unit(0x67);
  // Widths whose code minus 4 is 2^32 - 4: frame_num's, then the order count's.
  const Bytes wrappedFrameNum = FieldWriter().Bits(66, 8).Bits(0x1e, 16).Ue(0).Ue(0xFFFFFFFC).Ue(0).Ue(0)
                                    .Ue(1).Bits(0, 1).Ue(0).Ue(0).Bits(1, 1).Unit(0x67);
  const Bytes wrappedOrderBits = FieldWriter().Bits(66, 8).Bits(0x1e, 16).Ue(0).Ue(0).Ue(0).Ue(0xFFFFFFFC)
                                     .Ue(1).Bits(0, 1).Ue(0).Ue(0).Bits(1, 1).Unit(0x67);
  // Type 1 with no cycle: each of its two offsets must be read.
  const Bytes type1TopToBottom =
      FieldWriter().Bits(66, 8).Bits(0x1e, 16).Ue(0).Ue(0).Ue(1).Bits(0, 1).Ue(0).Ue(600).Ue(0)
          .Ue(1).Bits(0, 1).Ue(0, 2).Bits(1, 1).Unit(0x67);
  const Bytes type1 = FieldWriter()
                          .Bits(66, 8).Bits(0x1e, 16).Ue(0).Ue(0).Ue(1).Bits(0, 1).Ue(0, 2)
                          .Ue(300).Ue(0, 256)  // a cycle of 300 offsets, of which 256 are read
                          .Ue(1).Bits(0, 1).Ue(0, 2).Bits(1, 1)
                          .Unit(0x67);
  const struct {
    const char* name;
    std::vector<Bytes> units;
    bool known;
  } cases[] = {
      {"baseline", {baseline, pps, idr}, true},
      {"high, scaling matrix of 8 absent lists", {absentLists, pps, idr}, true},
      {"high, a scaling list whose first delta is +9", {listOfDeltaNine, pps, idr}, true},
      {"profile 44 carries the chroma fields", {profile44, pps, idr}, true},
      {"order type 3", {type3, pps, idr}, false},
      {"order type 1 replaces type 0", {baseline, pps, type1, idr}, false},
      {"order type 1 with an offset of -300 replaces type 0", {baseline, pps, type1TopToBottom, idr}, false},
      {"a slice header with escaped bytes", {baseline, pps, escapedIdr}, true},
      {"a scaling delta near 2^31 wraps modulo 256", {hugeDelta, pps, idr}, true},
      {"frame_num width wrapping below 4", {wrappedFrameNum, pps, idr}, false},
      {"order count width wrapping below 4", {wrappedOrderBits, pps, idr}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PictureOrderCounter counter;
    for (size_t i = 0; i + 1 < c.units.size(); ++i) counter.TakeParameterSet(c.units[i].data(), c.units[i].size());
    const PictureOrder order = counter.TakeSlice(c.units.back().data(), c.units.back().size());
    EXPECT_EQ(order.known, c.known);
    EXPECT_EQ(order.count, c.known ? 6 : 0);
  }
}
