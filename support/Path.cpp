#include "support/Path.h"

#include <cstring>
#include <iterator>
#include <string>

#include "support/Text.h"

namespace {

// Whether a path of `length` bytes fits a buffer of `outSize` and the system's path limit.
bool Fits(std::string_view path, std::size_t outSize) {
    return path.size() < outSize && CharacterCount(path) < kPathCharacters;
}

// Copies `length` bytes of `text` into out and ends it; false (and out emptied) when the text
// and its terminator do not fit.
bool CopyBounded(char* out, std::size_t outSize, const char* text, std::size_t length) {
    if (!out || outSize == 0) return false;
    if (!Fits({text, length}, outSize)) {
        out[0] = '\0';
        return false;
    }
    std::memmove(out, text, length);
    out[length] = '\0';
    return true;
}

std::uint64_t FileTimeValue(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

bool IsPathSeparator(char c) { return c == '\\' || c == ':' || c == '/'; }

bool ModuleFileName(HMODULE module, char* buffer) {
    DWORD length = GetModuleFileNameA(module, buffer, static_cast<DWORD>(kPathSize));
    // Older systems cut a long path to fit without saying so: a full buffer counts as cut.
    const bool fits = Fits({buffer, length}, kPathSize);
    if (length != 0 && !fits) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    if (length == 0 || !fits) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

#ifdef _WIN32
bool UniqueTempFileName(const char* directory, const char* prefix, char* out, std::size_t outSize) {
    // GetTempFileNameA writes at most 260 bytes: in UTF-8 a path of fewer characters can be
    // longer, and the system would then hand back a cut-short name. The wide call has no such gap.
    wchar_t wideDirectory[kPathCharacters], widePrefix[4] = {}, wide[kPathCharacters];
    if (!MultiByteToWideChar(CP_ACP, 0, directory, -1, wideDirectory, kPathCharacters) ||
        !MultiByteToWideChar(CP_ACP, 0, prefix, -1, widePrefix, 4) ||
        !GetTempFileNameW(wideDirectory, widePrefix, 0, wide))
        return false;
    if (!WideCharToMultiByte(CP_ACP, 0, wide, -1, out, static_cast<int>(outSize), nullptr,
                             nullptr) ||
        !Fits(out, outSize)) {
        DeleteFileW(wide);
        out[0] = '\0';
        return false;
    }
    return true;
}
#else
bool UniqueTempFileName(const char* directory, const char* prefix, char* out, std::size_t outSize) {
    char path[MAX_PATH];
    if (!GetTempFileNameA(directory, prefix, 0, path)) return false;
    if (CopyBounded(out, outSize, path, std::strlen(path))) return true;
    DeleteFileA(path);
    return false;
}
#endif

bool SplitPath(const char* path, char* directory, std::size_t directorySize, char* name,
               std::size_t nameSize) {
    std::size_t length = std::strlen(path);
    const char* separator = nullptr;
    for (const char* p = path + length; p != path; --p) {
        if (IsPathSeparator(p[-1])) {
            separator = p - 1;
            break;
        }
    }
    bool fits = true;
    if (separator) {
        if (directory) fits &= CopyBounded(directory, directorySize, path, separator - path);
        if (name) fits &= CopyBounded(name, nameSize, separator + 1, path + length - separator - 1);
    } else {
        if (directory) fits &= CopyBounded(directory, directorySize, "", 0);
        if (name) fits &= CopyBounded(name, nameSize, path, length);
    }
    return fits;
}

bool JoinPath(char* out, std::size_t outSize, const char* directory, const char* name) {
    if (!out || outSize == 0) return false;
    const char* dir = directory ? directory : "";
    std::size_t dirLength = std::strlen(dir);
    bool addSeparator = name && dirLength >= 2 && !IsPathSeparator(dir[dirLength - 1]);
    std::size_t nameLength = name ? std::strlen(name) : 0;
    std::size_t total = dirLength + (addSeparator ? 1 : 0) + nameLength;
    if (total >= outSize ||
        CharacterCount(dir) + (addSeparator ? 1 : 0) + CharacterCount(name ? name : "") >=
            kPathCharacters) {
        out[0] = '\0';
        return false;
    }
    // The directory may be `out` itself: move it first, then append.
    std::memmove(out, dir, dirLength);
    std::size_t at = dirLength;
    if (addSeparator) out[at++] = '\\';
    if (name) std::memmove(out + at, name, nameLength);
    out[total] = '\0';
    return true;
}

bool ReplaceExtension(char* out, std::size_t outSize, const char* path, const char* extension) {
    if (!out || outSize == 0) return false;
    if (!path) {
        out[0] = '\0';
        return false;
    }
    // Only the last component's extension: a dot in a folder name (john.smith, or its short
    // form JOHN~1.SMI) must not move the file out of its folder.
    const std::size_t length = std::strlen(path);
    std::size_t nameStart = length;
    while (nameStart > 0 && !IsPathSeparator(path[nameStart - 1])) --nameStart;
    const char* dot = std::strrchr(path + nameStart, '.');
    std::size_t keep = dot ? static_cast<std::size_t>(dot - path) : length;
    std::size_t extensionLength = std::strlen(extension);
    if (keep + extensionLength >= outSize ||
        CharacterCount({path, keep}) + CharacterCount(extension) >= kPathCharacters) {
        out[0] = '\0';
        return false;
    }
    std::memmove(out, path, keep);
    std::memcpy(out + keep, extension, extensionLength + 1);
    return true;
}

bool FindLongFileName(char* out, std::size_t outSize, const char* path) {
    cFileSearch search;
    bool found = search.FindFirst(kLongNameSearchMask, path);
    search.EndFind();
    if (found) return CopyBounded(out, outSize, search.Name, std::strlen(search.Name));
    CopyBounded(out, outSize, path, std::strlen(path));
    return false;
}

namespace {

#ifdef _WIN32
std::string FoundName(const wchar_t* name, std::size_t capacity) {
    return ActiveText({name, wcsnlen(name, capacity - 1)});
}
HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAW* data) {
    return FindFirstFileW(WideText(pattern).c_str(), data);
}
BOOL FindNext(HANDLE search, WIN32_FIND_DATAW* data) { return FindNextFileW(search, data); }
#else
std::string FoundName(const char* name, std::size_t capacity) {
    return std::string(name, strnlen(name, capacity - 1));
}
HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAA* data) {
    return FindFirstFileA(pattern, data);
}
BOOL FindNext(HANDLE search, WIN32_FIND_DATAA* data) { return FindNextFileA(search, data); }
#endif

}  // namespace

bool cFileSearch::Matches(const FindData& data) const {
    const std::string name = FoundName(data.cFileName, std::size(data.cFileName));
    if (name == "." || name == "..") return false;
    if (FMask == 0) return false;
    if (data.dwFileAttributes & FMask) return true;
    return (FMask & FILE_ATTRIBUTE_NORMAL) && data.dwFileAttributes == 0;
}

void cFileSearch::Take(const FindData& data) {
    // The system's records end their names within their own arrays; bound them all the same.
    const std::string name = FoundName(data.cFileName, std::size(data.cFileName));
    const std::string shortName =
        FoundName(data.cAlternateFileName, std::size(data.cAlternateFileName));
    CopyBounded(Name, sizeof Name, name.data(), name.size());
    CopyBounded(ShortName, sizeof ShortName, shortName.data(), shortName.size());
    Attributes = data.dwFileAttributes;
    SizeLow = data.nFileSizeLow;
    SizeHigh = data.nFileSizeHigh;
    CreationTime = FileTimeValue(data.ftCreationTime);
    LastAccessTime = FileTimeValue(data.ftLastAccessTime);
    LastWriteTime = FileTimeValue(data.ftLastWriteTime);
}

bool cFileSearch::FindFirst(DWORD attributeMask, const char* pattern) {
    EndFind();
    FMask = attributeMask;
    FHandle.Reset(::FindFirst(pattern, &FData));
    if (!FHandle) return false;
    if (Matches(FData)) {
        Take(FData);
        return true;
    }
    return FindNext();
}

bool cFileSearch::FindNext() {
    if (!FHandle) return false;
    while (::FindNext(FHandle.Get(), &FData)) {
        if (Matches(FData)) {
            Take(FData);
            return true;
        }
    }
    return false;
}

void cFileSearch::EndFind() { FHandle.Reset(); }
