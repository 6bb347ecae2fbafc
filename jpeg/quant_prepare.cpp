// Preparation of a quantisation table (DQT, ITU-T T.81 B.2.4.1) for the
// transform kind in force when the table is read. The DQT segment lists the
// quantiser values Qk in zigzag order; both kinds store them in natural
// order, so that dequantisation is one multiply per entry in block order.
// The fast kind also folds in the scale factors of its AAN transform.
#include "entropy_tables.h"
#include "idct.h"

namespace {

// s(0) = 1, s(k) = sqrt(2) * cos(k * pi / 16): the AAN scale factors.
constexpr double kAanScale[8] = {
    1.0,
    1.3870398453221475,
    1.3065629648763766,
    1.1758756024193588,
    1.0,
    0.7856949583871023,
    0.5411961001461971,
    0.2758993792829431,
};

// The 16 entries after the 64 values stay zero, for routines that read a
// table in wider strides.
void ZeroPadding(int16_t* preparedTable) {
  for (int i = 64; i < kPreparedQuantEntries; ++i) preparedTable[i] = 0;
}

}  // namespace

void prepare_quant_table_fast(const uint16_t* zigzagQuantisers,
                              int16_t* preparedTable) {
  for (int k = 0; k < 64; ++k) {
    const int natural = kZigzagToNatural[k];
    const double scale =
        kAanScale[natural >> 3] * kAanScale[natural & 7] / 8.0;
    // 256 * Q * s(u) * s(v), rounded: the transform's 8-bit fraction.
    const double x = zigzagQuantisers[k] * scale * 0.0625 * 32768.0 + 0.5;
    // A large quantiser at a strongly scaled position (8-bit Q from about
    // 67 upwards) does not fit 16 bits; saturate rather than wrap, so the
    // coefficient keeps its sign and stays as large as it can be.
    preparedTable[natural] =
        x >= 32767.0 ? int16_t{32767} : static_cast<int16_t>(x);
  }
  ZeroPadding(preparedTable);
}

void prepare_quant_table_precise(const uint16_t* zigzagQuantisers,
                                 int16_t* preparedTable) {
  for (int k = 0; k < 64; ++k) {
    // A 16-bit Q above 32767 keeps its low 16 bits: the dequantiser keeps
    // only the low 16 bits of its product, which are the same either way.
    preparedTable[kZigzagToNatural[k]] =
        static_cast<int16_t>(zigzagQuantisers[k]);
  }
  ZeroPadding(preparedTable);
}
