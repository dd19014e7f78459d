#pragma once
#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "common/h263_syntax.h"

namespace kmqx {

// Per-macroblock record of the encoder. Records carry from picture to picture:
// the vectors and vector changes feed the neighbours' prediction and search.
struct MacroblockInfo {
    int32_t changeMark;  // -1 unchanged, 1 changed (motion detection)
    int32_t mvX;         // whole pixels; kOutsideVector in the top border row
    int32_t mvY;
    int32_t halfX;  // -1, 0 or 1
    int32_t halfY;
    int32_t mvChangeX;  // new vector minus previous vector at the last coding
    int32_t mvChangeY;
    int32_t skipCount;
    // INTER codings with coded blocks since the macroblock was last coded
    // INTRA; at kForcedIntraCount a changed macroblock is coded INTRA.
    int32_t interCodingsSinceIntra;
    // The reconstruction holds the reference's samples here: the macroblock
    // was last written as a plain copy (vector 0, nothing coded), and the two
    // pictures only swapped since. Saved and restored with the reconstruction.
    bool reconstructionMatchesReference;
};

// H.263 asks that a macroblock be coded INTRA at least once every 132 times
// its coefficients are sent, so that decoders whose inverse transform differs
// from ours cannot drift without bound.
constexpr int32_t kForcedIntraCount = 131;

// The macroblock grid with a one-macroblock border all round, sized from the
// picture. Macroblock (x, y) of the picture is At(x, y); At(-1, y), At(cols, y),
// At(x, -1) and At(x, rows) are border records.
class MacroblockGrid {
  public:
    // Zeroed records with the outside marker above the picture; false (and
    // no grid) when the memory is not there.
    bool Reset(int32_t cols, int32_t rows) {
        records_.reset(new (std::nothrow)
                           MacroblockInfo[static_cast<size_t>(cols + 2) * (rows + 2)]());
        if (!records_) {
            cols_ = rows_ = 0;
            return false;
        }
        cols_ = cols;
        rows_ = rows;
        for (int32_t x = -1; x <= cols; ++x) {
            At(x, -1).mvX = kOutsideVector;
            At(x, -1).mvY = kOutsideVector;
        }
        return true;
    }
    MacroblockInfo& At(int32_t x, int32_t y) {
        return records_[static_cast<size_t>(y + 1) * (cols_ + 2) + (x + 1)];
    }
    const MacroblockInfo& At(int32_t x, int32_t y) const {
        return records_[static_cast<size_t>(y + 1) * (cols_ + 2) + (x + 1)];
    }
    int32_t cols() const { return cols_; }
    int32_t rows() const { return rows_; }
    // Takes every record of a grid of the same size, border records included.
    void CopyFrom(const MacroblockGrid& other) {
        assert(other.cols_ == cols_ && other.rows_ == rows_);
        std::copy_n(other.records_.get(), static_cast<size_t>(cols_ + 2) * (rows_ + 2),
                    records_.get());
    }

  private:
    int32_t cols_ = 0;
    int32_t rows_ = 0;
    std::unique_ptr<MacroblockInfo[]> records_;
};

}  // namespace kmqx
