#include "tools/saverpak/io/PathText.h"

#ifdef _WIN32
#include <cstring>

#include "support/Text.h"

std::filesystem::path PathFromText(std::string_view text) {
    return std::filesystem::path(WideText(text));
}

std::string PathText(const std::filesystem::path& path) { return ActiveText(path.native()); }

UniqueStream OpenStream(const std::filesystem::path& path, const char* mode) {
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    return UniqueStream(_wfopen(path.c_str(), wideMode.c_str()));
}

#else

std::filesystem::path PathFromText(std::string_view text) { return std::filesystem::path(text); }

std::string PathText(const std::filesystem::path& path) { return path.string(); }

UniqueStream OpenStream(const std::filesystem::path& path, const char* mode) {
    return UniqueStream(std::fopen(path.c_str(), mode));
}

#endif
