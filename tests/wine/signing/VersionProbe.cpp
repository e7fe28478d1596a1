// Reads a saver's name, version and icon as Windows' own shell does: string 1 through
// LoadStringW (the Screen Saver Settings list, for an 8.3 file name), the version resource through
// GetFileVersionInfoW and VerQueryValueW (Explorer's Properties), the icons through
// ExtractIconExW. Prints KEY=VALUE lines in UTF-8.
//   VersionProbe FILE
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Print(const char* key, const std::wstring& value) {
    int n = WideCharToMultiByte(CP_UTF8, 0, value.c_str(), static_cast<int>(value.size()), nullptr,
                                0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, value.c_str(), static_cast<int>(value.size()), utf8.data(), n,
                        nullptr, nullptr);
    std::printf("%s=%s\n", key, utf8.c_str());
}

std::wstring Version(DWORD ms, DWORD ls) {
    return std::to_wstring(HIWORD(ms)) + L"." + std::to_wstring(LOWORD(ms)) + L"." +
           std::to_wstring(HIWORD(ls)) + L"." + std::to_wstring(LOWORD(ls));
}

// "WxH RRGGBB": the icon's size and the colour of its middle pixel.
std::wstring Describe(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return L"none";
    BITMAP bm{};
    GetObjectW(info.hbmColor, sizeof bm, &bm);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, -bm.bmHeight, 1, 32, BI_RGB};
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(bm.bmWidth) * bm.bmHeight);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, info.hbmColor, 0, static_cast<UINT>(bm.bmHeight), pixels.data(), &bi,
              DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    wchar_t text[64];
    std::swprintf(
        text, 64, L"%ldx%ld %06X", bm.bmWidth, bm.bmHeight,
        pixels[static_cast<std::size_t>(bm.bmHeight / 2) * bm.bmWidth + bm.bmWidth / 2] & 0xFFFFFF);
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    const wchar_t* file = argv[1];
    if (HMODULE module = LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        wchar_t name[256] = {};
        LoadStringW(module, 1, name, 256);
        Print("name", name);
        FreeLibrary(module);
    }
    DWORD handle = 0, size = GetFileVersionInfoSizeW(file, &handle);
    std::vector<BYTE> data(size);
    if (size == 0 || !GetFileVersionInfoW(file, 0, size, data.data())) return 1;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        Print("fixed", Version(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
        Print("fixedProduct", Version(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
    }
    for (const wchar_t* key :
         {L"FileDescription", L"ProductName", L"CompanyName", L"FileVersion", L"ProductVersion",
          L"LegalCopyright", L"OriginalFilename", L"InternalName"}) {
        wchar_t* value = nullptr;
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        std::string narrow(path.begin(), path.end());
        if (VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) &&
            value)
            Print(narrow.substr(narrow.rfind('\\') + 1).c_str(), value);
    }
    Print("icons", std::to_wstring(ExtractIconExW(file, -1, nullptr, nullptr, 0)));
    HICON large = nullptr, small = nullptr;
    if (ExtractIconExW(file, 0, &large, &small, 1) > 0) {
        Print("large", large ? Describe(large) : L"none");
        Print("small", small ? Describe(small) : L"none");
        if (large) DestroyIcon(large);
        if (small) DestroyIcon(small);
    }
    return 0;
}
