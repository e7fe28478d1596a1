#include "tools/saverpak/io/PathText.h"

#ifdef _WIN32
#include "support/Text.h"

std::filesystem::path PathFromText(std::string_view text) {
    return std::filesystem::path(WideText(text));
}

std::string PathText(const std::filesystem::path& path) { return ActiveText(path.native()); }

#else

std::filesystem::path PathFromText(std::string_view text) { return std::filesystem::path(text); }

std::string PathText(const std::filesystem::path& path) { return path.string(); }

#endif
