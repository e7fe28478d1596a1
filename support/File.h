// The file object: a Windows file handle with the error state of cError.
//
// Destroying a cFile does not close its handle; owners call Close (or hold it in a
// ScopedFileClose) before the object goes.
#pragma once

#include <cstdint>

#include "support/Error.h"

class cFile : public cError {
public:
    ErrorCode Open(const char* path, DWORD access, DWORD shareMode);
    ErrorCode Create(const char* path, DWORD flagsAndAttributes, DWORD shareMode);
    ErrorCode Close();
    DWORD Read(void* buffer, DWORD count);
    DWORD Write(const void* buffer, DWORD count);
    // Returns the new position from the start of the file, or -1 on a closed file.
    std::int32_t Seek(std::int32_t distance, DWORD origin);
    std::int32_t Tell() const;
    ErrorCode CopyTo(cFile& destination, DWORD count);

    bool IsOpen() const { return FHandle != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return FHandle; }

private:
    HANDLE FHandle = INVALID_HANDLE_VALUE;
};

// Closes a cFile when the scope ends, for owners that do not keep the file.
class ScopedFileClose {
public:
    explicit ScopedFileClose(cFile& file) : FFile(file) {}
    ~ScopedFileClose() { FFile.Close(); }
    ScopedFileClose(const ScopedFileClose&) = delete;
    ScopedFileClose& operator=(const ScopedFileClose&) = delete;

private:
    cFile& FFile;
};
