#include "modules/slideshow/SlideSequence.h"

#include <algorithm>
#include <numeric>
#include <utility>

SlideSequence::SlideSequence(std::int32_t count, SlideOrder order, std::uint32_t seed)
    : FOrder(order),
      FRandom(seed),
      FRound(std::size_t(std::max(count, 0))),
      FFailed(FRound.size(), false) {
    std::iota(FRound.begin(), FRound.end(), 0);
    FPosition = FRound.size();  // the first Next starts a round
}

void SlideSequence::NewRound() {
    FPosition = 0;
    if (FOrder != SlideOrder::Shuffle || FRound.size() < 2) return;
    const std::int32_t last = FRound.back();
    std::shuffle(FRound.begin(), FRound.end(), FRandom);
    // No slide twice in a row across the rounds' seam.
    if (FRound.front() == last) std::swap(FRound.front(), FRound.back());
}

std::int32_t SlideSequence::Next() {
    std::lock_guard<std::mutex> lock(FLock);
    if (std::find(FFailed.begin(), FFailed.end(), false) == FFailed.end()) return -1;
    for (;;) {
        if (FPosition >= FRound.size()) NewRound();
        const std::int32_t slide = FRound[FPosition++];
        if (!FFailed[std::size_t(slide)]) return slide;
    }
}

void SlideSequence::Failed(std::int32_t slide, const std::string& reason) {
    std::lock_guard<std::mutex> lock(FLock);
    if (slide < 0 || std::size_t(slide) >= FFailed.size()) return;
    FLastFailure = reason;
    FFailed[std::size_t(slide)] = true;
}

std::string SlideSequence::LastFailure() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FLastFailure;
}
