// Stand-in for the Win32 calls of the portable core, on POSIX: files, folders and searches. The
// last-error value, the system's message texts and global memory are in WinStandInSystem.cpp.
//
// Handles are heap objects: a file descriptor for files, a directory stream for searches.
// Share modes are not enforced (POSIX has no mandatory sharing); everything else follows what
// the Windows calls report for the same situation, down to the error code.

#include "support/win32/WinStandIn.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

struct FileHandle {
    int fd;
};

struct SearchHandle {
    DIR* dir = nullptr;  // null for a search of one named file, already answered
    std::string directory;
    std::string pattern;
};

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

std::string ParentOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// ENOENT means either the file or a folder on its way is missing; Windows tells the two apart.
DWORD MissingCode(const char* path) {
    return IsDirectory(ParentOf(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

FILETIME FileTimeFrom(const timespec& time) {
    // 100-nanosecond intervals since 1 January 1601.
    constexpr std::uint64_t kEpochDifference = 116444736000000000ULL;
    std::uint64_t value = kEpochDifference + static_cast<std::uint64_t>(time.tv_sec) * 10000000ULL +
                          static_cast<std::uint64_t>(time.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

DWORD AttributesFrom(const std::string& name, const struct stat& info) {
    DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!(info.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
    // Wine shows Unix dot files as hidden; so do we.
    if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes;
}

void FillFindData(const std::string& name, const struct stat& info, WIN32_FIND_DATAA* data) {
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = AttributesFrom(name, info);
    data->ftCreationTime = FileTimeFrom(info.st_ctim);
    data->ftLastAccessTime = FileTimeFrom(info.st_atim);
    data->ftLastWriteTime = FileTimeFrom(info.st_mtim);
    std::uint64_t size = S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    std::size_t length = std::min(name.size(), sizeof data->cFileName - 1);
    std::memcpy(data->cFileName, name.data(), length);
}

bool NextMatch(SearchHandle* search, WIN32_FIND_DATAA* data) {
    if (!search->dir) return false;
    while (dirent* entry = readdir(search->dir)) {
        if (fnmatch(search->pattern.c_str(), entry->d_name, FNM_CASEFOLD) != 0) continue;
        std::string full = search->directory + "/" + entry->d_name;
        struct stat info;
        if (lstat(full.c_str(), &info) != 0) continue;  // vanished since readdir
        FillFindData(entry->d_name, info, data);
        return true;
    }
    return false;
}

}  // namespace

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
    if (!path || !*path) {
        Fail(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int flags = O_CLOEXEC;
    bool reads = access & GENERIC_READ, writes = access & GENERIC_WRITE;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            flags |= O_TRUNC;
            break;
        default:
            Fail(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
    if (IsDirectory(path)) {  // CreateFileA refuses folders without backup semantics
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int fd = open(path, flags, 0666);
    if (fd < 0) {
        Fail(errno == ENOENT ? MissingCode(path) : Win32ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(0);
    return new FileHandle{fd};
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, void*) {
    if (read) *read = 0;
    if (!file || file == INVALID_HANDLE_VALUE) return Fail(ERROR_INVALID_HANDLE);
    int fd = static_cast<FileHandle*>(file)->fd;
    DWORD total = 0;
    // Like ReadFile on a disk file: fewer bytes only at the end of the file.
    while (total < count) {
        ssize_t n = ::read(fd, static_cast<char*>(buffer) + total, count - total);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (read) *read = total;
            return Fail(errno == EBADF ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(errno));
        }
        if (n == 0) break;
        total += static_cast<DWORD>(n);
    }
    if (read) *read = total;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, void*) {
    if (written) *written = 0;
    if (!file || file == INVALID_HANDLE_VALUE) return Fail(ERROR_INVALID_HANDLE);
    int fd = static_cast<FileHandle*>(file)->fd;
    DWORD total = 0;
    while (total < count) {
        ssize_t n = ::write(fd, static_cast<const char*>(buffer) + total, count - total);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (written) *written = total;
            // A descriptor opened for reading only: Windows says access denied.
            return Fail(errno == EBADF ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(errno));
        }
        total += static_cast<DWORD>(n);
    }
    if (written) *written = total;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    if (!file || file == INVALID_HANDLE_VALUE) {
        Fail(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int whence = method == FILE_BEGIN     ? SEEK_SET
                 : method == FILE_CURRENT ? SEEK_CUR
                 : method == FILE_END     ? SEEK_END
                                          : -1;
    if (whence < 0) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t move = distanceHigh
                     ? static_cast<off_t>((static_cast<std::uint64_t>(*distanceHigh) << 32) |
                                          static_cast<DWORD>(distance))
                     : static_cast<off_t>(distance);
    int fd = static_cast<FileHandle*>(file)->fd;
    off_t current = lseek(fd, 0, SEEK_CUR);
    off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? current : lseek(fd, 0, SEEK_END);
    if (base + move < 0) {
        lseek(fd, current, SEEK_SET);  // Windows leaves the pointer where it was
        Fail(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    off_t position = lseek(fd, base + move, SEEK_SET);
    if (position < 0) {
        Fail(Win32ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(position) >> 32);
    SetLastError(0);
    return static_cast<DWORD>(position);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
    struct stat info;
    if (!file || file == INVALID_HANDLE_VALUE || fstat(static_cast<FileHandle*>(file)->fd, &info)) {
        Fail(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    auto size = static_cast<std::uint64_t>(info.st_size);
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(0);
    return static_cast<DWORD>(size);
}

BOOL CloseHandle(HANDLE object) {
    if (!object || object == INVALID_HANDLE_VALUE) return Fail(ERROR_INVALID_HANDLE);
    auto* file = static_cast<FileHandle*>(object);
    int result = close(file->fd);
    delete file;
    return result == 0 ? TRUE : Fail(Win32ErrorFromErrno(errno));
}

BOOL DeleteFileA(LPCSTR path) {
    if (IsDirectory(path)) return Fail(ERROR_ACCESS_DENIED);
    if (unlink(path) != 0)
        return Fail(errno == ENOENT ? MissingCode(path) : Win32ErrorFromErrno(errno));
    return TRUE;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
    struct stat info;
    if (!(flags & MOVEFILE_REPLACE_EXISTING) && lstat(to, &info) == 0) {
        return Fail(ERROR_ALREADY_EXISTS);
    }
    if (rename(from, to) != 0) {
        return Fail(errno == ENOENT ? MissingCode(from) : Win32ErrorFromErrno(errno));
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path) {
    struct stat info;
    if (stat(path, &info) != 0) {
        Fail(errno == ENOENT ? MissingCode(path) : Win32ErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string name = path;
    auto slash = name.find_last_of('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    return AttributesFrom(name, info);
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
    struct stat info;
    if (stat(path, &info) != 0)
        return Fail(errno == ENOENT ? MissingCode(path) : Win32ErrorFromErrno(errno));
    mode_t mode = info.st_mode & 07777;
    mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~0222) : (mode | S_IWUSR);
    if (chmod(path, mode) != 0) return Fail(Win32ErrorFromErrno(errno));
    return TRUE;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = tmp && *tmp ? tmp : "/tmp";
    if (path.back() != '/') path += '/';
    if (path.size() + 1 > size) return static_cast<DWORD>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

UINT GetTempFileNameA(LPCSTR directory, LPCSTR prefix, UINT unique, LPSTR out) {
    std::string dir = directory;
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
    std::string stem(prefix, strnlen(prefix, 3));
    // Like Windows: a unique number of 0 means "find a free one and create the file".
    UINT start = unique ? unique : static_cast<UINT>((getpid() ^ time(nullptr)) & 0xFFFF);
    for (UINT attempt = 0; attempt < 0x10000; ++attempt) {
        UINT number = unique ? unique : ((start + attempt) & 0xFFFF);
        if (number == 0) continue;
        char name[16];
        std::snprintf(name, sizeof name, "%x.tmp", number);
        std::string path = dir + stem + name;
        if (path.size() >= MAX_PATH) {
            Fail(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        if (unique) {
            std::memcpy(out, path.c_str(), path.size() + 1);
            return unique;
        }
        int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            std::memcpy(out, path.c_str(), path.size() + 1);
            return number;
        }
        if (errno != EEXIST) {
            Fail(errno == ENOENT ? ERROR_DIRECTORY : Win32ErrorFromErrno(errno));
            return 0;
        }
    }
    Fail(ERROR_FILE_EXISTS);
    return 0;
}

DWORD GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length < 0) {
        Fail(Win32ErrorFromErrno(errno));
        return 0;
    }
    if (size == 0) return Fail(ERROR_INSUFFICIENT_BUFFER);
    // Like Windows: a buffer that is too small gets the path cut to fit and the error code.
    if (static_cast<DWORD>(length) >= size) {
        std::memcpy(buffer, path, size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path, static_cast<std::size_t>(length));
    buffer[length] = '\0';
    SetLastError(0);
    return static_cast<DWORD>(length);
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data) {
    std::string full = pattern ? pattern : "";
    auto slash = full.find_last_of('/');
    std::string directory =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : full.substr(0, slash));
    std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
    if (name.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (!IsDirectory(directory)) {
        Fail(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto* search = new SearchHandle{nullptr, directory, name == "*.*" ? "*" : name};
    if (name.find_first_of("*?") == std::string::npos) {
        // One named file: answer it now, the search then has nothing more.
        struct stat info;
        if (lstat(full.c_str(), &info) != 0) {
            delete search;
            Fail(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        FillFindData(name, info, data);
        return search;
    }
    search->dir = opendir(directory.c_str());
    if (!search->dir || !NextMatch(search, data)) {
        DWORD code = search->dir ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(errno);
        if (search->dir) closedir(search->dir);
        delete search;
        Fail(code);
        return INVALID_HANDLE_VALUE;
    }
    return search;
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* data) {
    if (!handle || handle == INVALID_HANDLE_VALUE) return Fail(ERROR_INVALID_HANDLE);
    return NextMatch(static_cast<SearchHandle*>(handle), data) ? TRUE : Fail(ERROR_NO_MORE_FILES);
}

BOOL FindClose(HANDLE handle) {
    if (!handle || handle == INVALID_HANDLE_VALUE) return Fail(ERROR_INVALID_HANDLE);
    auto* search = static_cast<SearchHandle*>(handle);
    if (search->dir) closedir(search->dir);
    delete search;
    return TRUE;
}
