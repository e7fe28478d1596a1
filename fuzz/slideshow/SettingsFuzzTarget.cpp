// The settings text on arbitrary bytes: whatever it holds, every value is one the slideshow
// can use.
#include <cstdint>
#include <string_view>

#include "modules/slideshow/SlideshowSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const SlideshowSettings s =
        ParseSlideshowSettings(std::string_view(reinterpret_cast<const char*>(data), size));
    if (s.Seconds < kMinSlideSeconds || s.Seconds > kMaxSlideSeconds || s.First < 0 ||
        (s.Count < 1 && s.Count != -1)) {
        __builtin_trap();
    }
    return 0;
}
