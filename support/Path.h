// Path helpers and the file search. A separator is any of backslash, colon and slash.
//
// Every helper writes into a caller's buffer of a stated size. A result that does not fit, or
// that has as many characters as the system's path limit or more, is refused (the helper returns
// false and leaves an empty string), never cut short.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/Handles.h"
#include "support/Platform.h"

// The system's path limit: 260 characters, the terminator included.
constexpr std::size_t kPathCharacters = MAX_PATH;
// Bytes of every path buffer: in UTF-8 (the saver's active code page) one character below the
// limit takes up to three bytes.
constexpr std::size_t kPathSize = 3 * kPathCharacters;

bool IsPathSeparator(char c);

// The full path of a loaded module (null: the program itself) into a buffer of kPathSize
// bytes. False, with an empty buffer, when the system gives no path or a cut-short one
// (which could name another file); GetLastError() is then ERROR_INSUFFICIENT_BUFFER for a path
// too long, else the system's code.
bool ModuleFileName(HMODULE module, char* buffer);

// A new empty file with a unique name beginning `prefix` in `directory` (GetTempFileName), its
// path into `out`. False when the system refuses or the path does not fit; no file is then left.
bool UniqueTempFileName(const char* directory, const char* prefix, char* out, std::size_t outSize);

// Splits at the last separator: the directory before it, the name after it. Without a
// separator the directory is empty and the name is the whole path. Either output may be null.
bool SplitPath(const char* path, char* directory, std::size_t directorySize, char* name,
               std::size_t nameSize);

// out = directory, then (when a name is given) a backslash unless the directory is shorter than
// two characters or already ends in a separator, then the name.
bool JoinPath(char* out, std::size_t outSize, const char* directory, const char* name);

// out = `path` with the extension of its last component (from that component's last '.')
// replaced by `extension`, or `extension` appended when the component has no '.'; a dot in a
// folder name is never the cut. False (and an empty out) when the result does not fit. `out`
// may be `path` itself.
bool ReplaceExtension(char* out, std::size_t outSize, const char* path, const char* extension);

// out = the long name (name only) of the file that `path` names; when no file matches, out =
// the path unchanged and the result is false. Also false when out cannot hold the result.
bool FindLongFileName(char* out, std::size_t outSize, const char* path);

// Attribute mask that FindLongFileName searches with: read-only, system, archive, normal and
// compressed files match; directories and files that are only hidden do not.
constexpr DWORD kLongNameSearchMask = 0x8A5;

class cFileSearch {
public:
    cFileSearch() = default;
    cFileSearch(const cFileSearch&) = delete;
    cFileSearch& operator=(const cFileSearch&) = delete;

    bool FindFirst(DWORD attributeMask, const char* pattern);
    bool FindNext();
    void EndFind();

    char Name[kPathSize] = {};
    char ShortName[14] = {};
    DWORD Attributes = 0;
    DWORD SizeLow = 0;
    DWORD SizeHigh = 0;
    std::uint64_t CreationTime = 0;
    std::uint64_t LastAccessTime = 0;
    std::uint64_t LastWriteTime = 0;

private:
#ifdef _WIN32
    // The wide record: in UTF-8 a name of 255 characters takes up to 765 bytes, more than the
    // 260 of the narrow record's name, which the system would cut or refuse.
    using FindData = WIN32_FIND_DATAW;
#else
    using FindData = WIN32_FIND_DATAA;
#endif
    bool Matches(const FindData& data) const;
    void Take(const FindData& data);

    UniqueFind FHandle;
    DWORD FMask = 0;
    FindData FData = {};
};
