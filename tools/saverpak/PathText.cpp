#include "tools/saverpak/PathText.h"

#ifdef _WIN32
#include <windows.h>

std::filesystem::path PathFromText(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return std::filesystem::path(std::move(wide));
}

std::string PathText(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

#else

std::filesystem::path PathFromText(std::string_view text) { return std::filesystem::path(text); }

std::string PathText(const std::filesystem::path& path) { return path.string(); }

#endif
