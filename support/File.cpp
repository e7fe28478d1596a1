#include "support/File.h"

#include <algorithm>
#include <memory>
#include <new>

ErrorCode cFile::Open(const char* path, DWORD access, DWORD shareMode) {
    // The handle is kept even when it is invalid: a failed open leaves the file closed.
    FHandle = CreateFileA(path, access, shareMode, nullptr, OPEN_EXISTING,
                          FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL, nullptr);
    return FHandle == INVALID_HANDLE_VALUE ? SetErrorFromLastError() : SetError(0);
}

ErrorCode cFile::Create(const char* path, DWORD flagsAndAttributes, DWORD shareMode) {
    FHandle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, shareMode, nullptr, CREATE_ALWAYS,
                          flagsAndAttributes, nullptr);
    return FHandle == INVALID_HANDLE_VALUE ? SetErrorFromLastError() : SetError(0);
}

ErrorCode cFile::Close() {
    SetError(0);
    if (FHandle != INVALID_HANDLE_VALUE) {
        if (!CloseHandle(FHandle)) SetErrorFromLastError();
        FHandle = INVALID_HANDLE_VALUE;
    }
    return GetError();
}

DWORD cFile::Read(void* buffer, DWORD count) {
    DWORD read = 0;
    if (!ReadFile(FHandle, buffer, count, &read, nullptr)) {
        SetErrorFromLastError();
        return 0;
    }
    // A short read is not an error here: callers compare the count with what they asked for.
    SetError(read == 0 ? ERR_END_OF_FILE : 0);
    return read;
}

DWORD cFile::Write(const void* buffer, DWORD count) {
    DWORD written = 0;
    if (!WriteFile(FHandle, buffer, count, &written, nullptr)) {
        SetErrorFromLastError();
        return 0;
    }
    SetError(0);
    return written;
}

std::int32_t cFile::Seek(std::int32_t distance, DWORD origin) {
    if (FHandle == INVALID_HANDLE_VALUE) {
        SetError(ERR_INVALID_FORMAT);
        return -1;
    }
    DWORD position = SetFilePointer(FHandle, distance, nullptr, origin);
    if (position == INVALID_SET_FILE_POINTER ||
        (origin == FILE_BEGIN && position != static_cast<DWORD>(distance))) {
        SetErrorFromLastError();
    }
    return static_cast<std::int32_t>(position);
}

std::int32_t cFile::Tell() const {
    return static_cast<std::int32_t>(SetFilePointer(FHandle, 0, nullptr, FILE_CURRENT));
}

ErrorCode cFile::CopyTo(cFile& destination, DWORD count) {
    const DWORD bufferSize = std::min<DWORD>(count, 8192);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[bufferSize ? bufferSize : 1]);
    if (!buffer) return SetError(ERR_OUT_OF_MEMORY);

    SetError(0);
    DWORD remaining = count;
    while (GetError() == 0 && remaining > 0) {
        DWORD chunk = std::min(bufferSize, remaining);
        remaining -= chunk;
        // A chunk read only in part is dropped and ends the copy: the source ended early.
        const DWORD read = Read(buffer.get(), chunk);
        if (GetError() != 0) break;
        if (read < chunk) {
            SetError(ERR_END_OF_FILE);
        } else if (destination.Write(buffer.get(), chunk) < chunk) {
            // A write that reports success but takes fewer bytes still loses data.
            if (CopyError(destination) == 0) SetError(ERR_WRITE_FAILED);
        }
    }
    return GetError();
}
