// Stand-in for the Win32 calls of the portable core, on POSIX: the thread's last-error value, the
// system's texts of the codes the stand-in reports, and global memory blocks.

#include "support/win32/WinStandIn.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

thread_local DWORD lastError = 0;

BOOL FailWith(DWORD code) {
    lastError = code;
    return FALSE;
}

struct MessageText {
    DWORD code;
    const char* text;
};

// The system's texts of the codes the stand-in reports.
constexpr MessageText kMessageTexts[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {ERROR_NO_MORE_FILES, "There are no more files."},
    {ERROR_WRITE_PROTECT, "The media is write protected."},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {ERROR_HANDLE_EOF, "Reached the end of the file."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_FILE_EXISTS, "The file exists."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_NEGATIVE_SEEK,
     "An attempt was made to move the file pointer before the beginning of the file."},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
    {ERROR_BUSY, "The requested resource is in use."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {ERROR_DIRECTORY, "The directory name is invalid."},
    {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error."},
};

struct GlobalBlock {
    std::size_t size;
    alignas(std::max_align_t) unsigned char bytes[1];
};

GlobalBlock* BlockOf(HGLOBAL memory) {
    return reinterpret_cast<GlobalBlock*>(static_cast<unsigned char*>(memory) -
                                          offsetof(GlobalBlock, bytes));
}

}  // namespace

DWORD Win32ErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case ENOSPC:
        case EFBIG:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case EBUSY:
        case ETXTBSY:
            return ERROR_SHARING_VIOLATION;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        default:
            return ERROR_IO_DEVICE;
    }
}

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     void*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM)) return FailWith(ERROR_INVALID_PARAMETER);
    for (const MessageText& entry : kMessageTexts) {
        if (entry.code != messageId) continue;
        std::size_t length = std::strlen(entry.text);
        if (length + 1 > size) return FailWith(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(buffer, entry.text, length + 1);
        return static_cast<DWORD>(length);
    }
    // ERROR_MR_MID_NOT_FOUND: the system has no text for this code.
    return FailWith(317);
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (bytes > (SIZE_T{1} << 40)) {  // more than any picture or container block can need
        FailWith(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::size_t total = offsetof(GlobalBlock, bytes) + (bytes ? bytes : 1);
    void* raw = (flags & GMEM_ZEROINIT) ? std::calloc(1, total) : std::malloc(total);
    if (!raw) {
        FailWith(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* block = static_cast<GlobalBlock*>(raw);
    block->size = bytes;
    return block->bytes;
}

LPVOID GlobalLock(HGLOBAL memory) { return memory; }

BOOL GlobalUnlock(HGLOBAL memory) {
    // Like a moveable block whose lock count reaches zero.
    lastError = 0;
    return FALSE;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    if (memory) std::free(BlockOf(memory));
    return nullptr;
}

SIZE_T GlobalSize(HGLOBAL memory) { return memory ? BlockOf(memory)->size : 0; }
