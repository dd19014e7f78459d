#include "encoder/recode_quantizer.h"

#include <algorithm>
#include <cmath>

#include "common/h263_syntax.h"

namespace kmqx {

// The size of an H.263 picture falls roughly as quantiser^-g: g near 1 for
// smooth content at coarse quantisers, 0.3 to 0.5 for noise at fine ones,
// where most coefficients keep long codes whatever the quantiser. With one
// coding of the picture g = 0.7 is assumed; with two, g is measured between
// them, but not taken below 0.4: the curve steepens towards coarser
// quantisers, so the measured g errs low and would overshoot to 31. The aim
// is 5 % below the limit. Tried on noise, binary noise and synthetic
// pictures at limits between their coarsest and finest sizes: at most three
// codings, on average two quantiser steps coarser than the finest that fits.
int32_t QuantizerAfterOverflow(PictureCoding last, PictureCoding previous, int64_t allowedBits,
                               int32_t codings) {
    if (codings + 1 >= kMaxCodingsPerPicture || last.quantizer >= kMaxQuantizer ||
        allowedBits <= 0 || last.quantizer < 1)
        return kMaxQuantizer;
    double falloff = 0.7;
    if (previous.quantizer > 0 && previous.quantizer < last.quantizer && previous.bits > last.bits)
        falloff = std::log(double(previous.bits) / double(last.bits)) /
                  std::log(double(last.quantizer) / double(previous.quantizer));
    falloff = std::clamp(falloff, 0.4, 2.0);
    const double overshoot = double(last.bits) / (0.95 * double(allowedBits));
    const double estimate = std::ceil(last.quantizer * std::pow(overshoot, 1.0 / falloff));
    const int32_t next = estimate >= kMaxQuantizer ? kMaxQuantizer : int32_t(estimate);
    return std::clamp(next, last.quantizer + 1, kMaxQuantizer);
}

}  // namespace kmqx
