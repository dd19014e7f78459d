#pragma once
// Writes H.263 syntax elements for hand-made test streams, from the shared
// code tables (so the tests check the decoder's lookups against the tables).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/h263_tables.h"

namespace kmqx::test {

class StreamBuilder {
  public:
    void Put(int count, uint32_t value) {
        for (int i = count - 1; i >= 0; --i) PutBit((value >> i) & 1);
    }
    void PutBit(uint32_t bit) {
        if (bitCount_ % 8 == 0) bytes_.push_back(0);
        if (bit) bytes_.back() |= uint8_t(0x80 >> (bitCount_ % 8));
        ++bitCount_;
    }
    void PutCode(const VlcCode& code) { Put(code.length, code.code); }
    void AlignWithZeros() {
        while (bitCount_ % 8 != 0) PutBit(0);
    }

    // Picture header; source format 7 carries width and height.
    void PictureHeader(int sourceFormat, int pictureType, int quant, int width = 0, int height = 0,
                       int tr = 0) {
        Put(17, 1);
        Put(5, 0);
        Put(8, uint32_t(tr));
        Put(5, 0x10);  // marker 1, H.261 0, split 0, camera 0, freeze 0
        Put(3, uint32_t(sourceFormat));
        if (sourceFormat == 7) {
            Put(12, uint32_t(width));
            Put(12, uint32_t(height));
        }
        Put(1, uint32_t(pictureType));
        Put(4, 0);
        Put(5, uint32_t(quant));
        Put(1, 0);  // CPM
        Put(1, 0);  // PEI
    }
    void GobHeader(int gn, int quant) {
        Put(17, 1);
        Put(5, uint32_t(gn));
        Put(2, 0);
        Put(5, uint32_t(quant));
    }
    void EndOfSequence() {
        Put(17, 1);
        Put(5, 31);
    }

    // MCBPC of an INTRA picture (type 3 or 4) or an INTER picture (0..4).
    void McbpcIntra(int type, int cbpc) { PutCode(kMcbpcIntra[4 * (type - 3) + cbpc]); }
    void McbpcInter(int type, int cbpc) { PutCode(kMcbpcInter[4 * type + cbpc]); }
    // CBPY from the four luminance bits as the macroblock carries them.
    void Cbpy(int lumaBits, bool intra) { PutCode(kCbpy[intra ? lumaBits : lumaBits ^ 15]); }
    // MVD in half-pixel units, -32..31.
    void Mvd(int value) {
        if (value == 0) {
            Put(1, 1);
            return;
        }
        PutCode(kMvd[std::abs(value)]);
        Put(1, value < 0 ? 1 : 0);
    }
    // One TCOEF event, from the table when it has a code, else escaped.
    void Tcoef(int last, int run, int level) {
        const int magnitude = std::abs(level);
        for (const TcoefCode& c : kTcoef) {
            if (c.last == last && c.run == run && c.level == magnitude) {
                Put(c.length, c.code);
                Put(1, level < 0 ? 1 : 0);
                return;
            }
        }
        EscapedTcoef(last, run, level);
    }
    void EscapedTcoef(int last, int run, int level) {
        PutCode(kTcoefEscape);
        Put(1, uint32_t(last));
        Put(6, uint32_t(run));
        Put(8, uint32_t(level & 255));
    }

    std::vector<uint8_t> Finish() {
        AlignWithZeros();
        return bytes_;
    }
    size_t BitCount() const { return bitCount_; }

  private:
    std::vector<uint8_t> bytes_;
    size_t bitCount_ = 0;
};

}  // namespace kmqx::test
