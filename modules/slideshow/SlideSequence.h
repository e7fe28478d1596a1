// The order the slides come in, shared by every monitor's preparer: in turn, or shuffled anew
// each round so that every slide shows once before any repeats. A slide that cannot be shown
// is left out from then on.
#pragma once

#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "modules/slideshow/SlideshowSettings.h"

class SlideSequence {
public:
    SlideSequence(std::int32_t count, SlideOrder order, std::uint32_t seed);

    // The next slide (0 to count - 1), or -1 when none is left that can be shown.
    std::int32_t Next();
    // Leaves the slide out from now on; `reason` is kept as the last one given.
    void Failed(std::int32_t slide, const std::string& reason);
    std::string LastFailure() const;

private:
    void NewRound();

    mutable std::mutex FLock;
    SlideOrder FOrder;
    std::mt19937 FRandom;
    std::vector<std::int32_t> FRound;
    std::size_t FPosition = 0;
    std::vector<bool> FFailed;
    std::string FLastFailure;
};
