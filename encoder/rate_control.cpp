#include "encoder/rate_control.h"

#include <algorithm>
#include <cmath>

#include "common/h263_syntax.h"
#include "encoder/encoder_interface.h"

namespace kmqx {
namespace {

// The finest quantiser the control chooses. At 1 the levels of strong
// coefficients exceed the +-127 that H.263 can send and are clipped, and
// pictures of sharp-edged content come out worse than at 2.
constexpr int32_t kFinestQuant = 2;

// How fast a picture's bits fall with its quantiser, bits ~ Q^-g. INTER
// pictures fall about as 1/Q (0.5 to 2 on the content tried); INTRA ones
// more slowly, since every block keeps its DC coefficient.
constexpr double kInterFalloff = 1.2;
constexpr double kIntraFalloff = 0.6;
// Before anything is measured: an INTRA picture of camera-like content
// takes about 2.6 bits a sample at quantiser 1, and an INTER picture about
// a third of the INTRA picture at the same quantiser.
constexpr double kIntraBitsPerSampleAtQuant1 = 2.6;
constexpr double kInterShareOfIntra = 0.35;

// Every second carries at most this share more than its rate, and at least
// this share less: bits the content leaves unused are not saved for later
// (which would overrun some later second) but sent as stuffing.
constexpr double kWindowExcess = 0.18;
constexpr double kWindowShortfall = 0.05;
// The first picture has no second behind it: its target is a share of a
// second's bits.
constexpr double kFirstPictureTarget = 0.25;
// An INTRA picture may use this share of its room, and any picture's target
// stays this far below its room, so that a misjudged picture still fits.
constexpr double kIntraShareOfRoom = 0.6;
constexpr double kTargetShareOfRoom = 0.5;
// The target's share of a limit the caller sets for a picture.
constexpr double kTargetShareOfLimit = 0.9;
// A picture coded again for exceeding its room aims at this share of it.
constexpr double kAimShareOfRoom = 0.5;
// The target of a picture never falls below this share of its due.
constexpr double kMinTargetShare = 0.25;
// The smallest picture: its header and one bit a macroblock.
constexpr double kMinPictureHeaderBits = 50;
// Windows longer than this many pictures are not kept (rates of over a
// thousand pictures a second are held over a shorter time).
constexpr int32_t kMaxWindowPictures = 1000;

struct Powers {
    double inter[kMaxQuantizer + 1];
    double intra[kMaxQuantizer + 1];
    Powers() {
        for (int32_t q = 0; q <= kMaxQuantizer; ++q) {
            inter[q] = std::pow(double(q), kInterFalloff);
            intra[q] = std::pow(double(q), kIntraFalloff);
        }
    }
};

const Powers& QuantPowers() {
    static const Powers powers;  // immutable once built
    return powers;
}

}  // namespace

bool RateControl::Configure(int64_t bitsPerSecond, int32_t numerator, int32_t denominator) {
    if (bitsPerSecond == 0) {
        bitsPerSecond_ = 0;
        return true;
    }
    if (!IsUsableRate(bitsPerSecond, numerator, denominator)) return false;
    const double picturesPerSecond = double(numerator) / double(denominator);
    bitsPerSecond_ = bitsPerSecond;
    bitsPerPicture_ = double(bitsPerSecond) / picturesPerSecond;
    picturesPerWindow_ =
        int32_t(std::clamp(std::lround(picturesPerSecond), 1L, long{kMaxWindowPictures}));
    // A new rate starts afresh; what was measured of the content still holds.
    buffer_ = 0;
    picturesSent_ = 0;
    recent_.assign(size_t(picturesPerWindow_ - 1), 0);
    recentNext_ = 0;
    recentBits_ = 0;
    skippedRun_ = 0;
    return true;
}

void RateControl::StartSequence(int32_t macroblocks, int64_t lumaSamples) {
    macroblocks_ = macroblocks;
    lumaSamples_ = lumaSamples;
    buffer_ = 0;
    picturesSent_ = 0;
    std::fill(recent_.begin(), recent_.end(), 0);
    recentNext_ = 0;
    recentBits_ = 0;
    skippedRun_ = 0;
    interComplexity_ = intraComplexity_ = 0;
    lastInterQuant_ = lastQuant_ = 0;
    lastWasIntra_ = false;
}

namespace {

// The finest quantiser whose predicted bits, complexity / powers[Q], do not
// exceed target.
int32_t QuantizerFor(double complexity, const double* powers, double target) {
    for (int32_t q = kFinestQuant; q < kMaxQuantizer; ++q)
        if (complexity <= target * powers[q]) return q;
    return kMaxQuantizer;
}

// A new measurement of a complexity: averaged with the old one while the two
// are within a factor of two (the pictures of one scene, whose sizes swing
// with the quality of their references), taken as it is otherwise (a new
// scene).
double Smoothed(double old, double measured) {
    if (old <= 0 || measured > 2 * old || 2 * measured < old) return measured;
    return 0.5 * (old + measured);
}

}  // namespace

PicturePlan RateControl::Plan(bool intra, int64_t limitBits) const {
    const Powers& powers = QuantPowers();
    const double window = picturesPerWindow_ * bitsPerPicture_;
    // After a second of skipped pictures the content needs more room than
    // a window kept full by stuffing leaves: no stuffing fills the window
    // until a picture is coded, or the picture would stand still for good.
    const bool starved = skippedRun_ >= picturesPerWindow_;
    const double windowRoom = std::max((1 + kWindowExcess) * window - double(recentBits_), 1.0);
    double room = windowRoom;
    const bool windowFull = picturesSent_ >= picturesPerWindow_ - 1 && !starved;
    const double need =
        windowFull ? std::max((1 - kWindowShortfall) * window - double(recentBits_), 0.0) : 0.0;
    // Half the room keeps room for the pictures after this one; a limit of
    // the caller's binds this picture alone.
    double highest = kTargetShareOfRoom * room;
    if (limitBits > 0 && double(limitBits) < room) {
        room = double(limitBits);
        highest = std::min(highest, kTargetShareOfLimit * room);
    }
    const double target =
        std::clamp(bitsPerPicture_ - buffer_ / picturesPerWindow_,
                   std::min(std::max(need, kMinTargetShare * bitsPerPicture_), highest), highest);

    PicturePlan plan;
    plan.maxBits = int64_t(room);
    plan.aimBits = int64_t(std::max(std::min(kAimShareOfRoom * windowRoom, room), 1.0));
    plan.minBits = int64_t(std::ceil(need));
    const double intraComplexity =
        intraComplexity_ > 0
            ? intraComplexity_
            : kIntraBitsPerSampleAtQuant1 * double(std::max<int64_t>(lumaSamples_, 1));
    if (intra) {
        const double intraRoom = kIntraShareOfRoom * room;
        if (picturesSent_ == 0) {
            plan.quantizer =
                QuantizerFor(intraComplexity, powers.intra,
                             std::min(intraRoom, kFirstPictureTarget * double(bitsPerSecond_)));
        } else if (interComplexity_ > 0 && !lastWasIntra_) {
            // The quality of the INTER pictures around it, as far as the
            // room allows.
            plan.quantizer = std::max(QuantizerFor(interComplexity_, powers.inter, target),
                                      QuantizerFor(intraComplexity, powers.intra, intraRoom));
        } else {
            plan.quantizer =
                QuantizerFor(intraComplexity, powers.intra, std::min(target, intraRoom));
        }
        return plan;
    }

    if (room < kMinPictureHeaderBits + macroblocks_) {
        // No room for more than the picture header and a bit a macroblock.
        plan.skip = true;
        plan.quantizer = kMaxQuantizer;
        return plan;
    }
    double complexity = interComplexity_;
    if (complexity <= 0 && lastQuant_ > 0) {
        // Only INTRA pictures so far: a share of their size at their quantiser.
        complexity = kInterShareOfIntra * intraComplexity / powers.intra[lastQuant_] *
                     powers.inter[lastQuant_];
    }
    if (complexity <= 0) complexity = kInterShareOfIntra * intraComplexity;
    int32_t quantizer = QuantizerFor(complexity, powers.inter, target);
    // Finer by at most a quarter a picture: a model measured on one picture
    // is not trusted far from where it was measured.
    if (lastInterQuant_ > 0)
        quantizer = std::max(quantizer, lastInterQuant_ - std::max(1, lastInterQuant_ / 4));
    plan.quantizer = quantizer;
    // At the finest quantiser what the content leaves of its share cannot
    // buy anything: it goes out as stuffing, so that the rate is kept.
    if (quantizer == kFinestQuant)
        plan.minBits = std::max(plan.minBits, int64_t(std::min(target, bitsPerPicture_)));
    return plan;
}

void RateControl::PictureSent(bool intra, int32_t quantizer, int64_t bits, int64_t stuffingBits,
                              bool skipped) {
    const Powers& powers = QuantPowers();
    quantizer = ClampQuantizer(quantizer);
    buffer_ += double(bits) - bitsPerPicture_;
    ++picturesSent_;
    if (!recent_.empty()) {
        recentBits_ += bits - recent_[recentNext_];
        recent_[recentNext_] = bits;
        recentNext_ = (recentNext_ + 1) % recent_.size();
    }
    skippedRun_ = skipped ? skippedRun_ + 1 : 0;
    if (skipped) return;
    const double content = double(std::max<int64_t>(bits - stuffingBits, 1));
    if (intra) {
        intraComplexity_ = Smoothed(intraComplexity_, content * powers.intra[quantizer]);
    } else {
        interComplexity_ = Smoothed(interComplexity_, content * powers.inter[quantizer]);
        lastInterQuant_ = quantizer;
    }
    lastQuant_ = quantizer;
    lastWasIntra_ = intra;
}

}  // namespace kmqx
