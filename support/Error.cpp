#include "support/Error.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

struct OwnErrorText {
    ErrorCode code;
    const char* text;
};

// Searched from the top; the pair with code 0 ends the list.
constexpr OwnErrorText kOwnErrorTexts[] = {
    {ERR_CREATE_FAILED, "Attempt to create the file failed."},
    {ERR_OPEN_FAILED, "Attempt to open the file failed."},
    {ERR_READ_FAILED, "Attempt to read from the file failed."},
    {ERR_WRITE_FAILED, "Attempt to write to the file failed."},
    {ERR_SEEK_FAILED, "Attempt to position within the file failed."},
    {ERR_RECORD_DELETED, "The record is deleted."},
    {ERR_BUFFER_TOO_SMALL, "The buffer size is too small."},
    {ERR_END_OF_FILE, "End of file."},
    {ERR_FILE_EXISTS, "The file already exists."},
    {ERR_INVALID_FORMAT, "The file format is invalid or unrecognized."},
    {ERR_MISSING_OR_CORRUPT, "The file is missing or corrupt."},
    {ERR_OUT_OF_MEMORY, "Memory allocation failed."},
    {ERR_GDI_FAILED, "GDI operation failed."},
    {ERR_LOAD_FAILED, "Attempt to load the file failed."},
    {ERR_SAVE_FAILED, "Attempt to save the file failed."},
    {ERR_CREATE_WINDOW_FAILED, "Create window failed."},
    {ERR_DRIVER_INIT_FAILED, "Attempt to initialize the driver was unsuccessful."},
    {ERR_FILE_NOT_FOUND, "File not found."},
    {ERR_BACKUP_FAILED, "Backup failed."},
    {ERR_CANCELLED, "Operation cancelled."},
    {ERR_INVALID_KEYWORD, "The keyword is invalid or unrecognized."},
    {ERR_SYNTAX, "The syntax is incorrect."},
    {ERR_END_OF_LINE, "End of line."},
    {ERR_INVALID_FUNCTION, "The function is invalid."},
    {ERR_UNSUPPORTED_FUNCTION, "The function is unsupported."},
    {ERR_NO_ERROR_INFORMATION,
     "A Windows API function failed but no error information was returned."},
    {0, nullptr},
};

int ReportToStandardError(HWND, const char* text) {
    std::fprintf(stderr, "Error: %s\n", text);
    return 1;  // IDOK
}

ErrorBoxFunction errorBox = ReportToStandardError;

ErrorCode CodeFromLastError() {
    DWORD code = GetLastError();
    return code != 0 ? static_cast<ErrorCode>(code) : ERR_NO_ERROR_INFORMATION;
}

}  // namespace

std::string ErrorText(ErrorCode code) {
    if (code & kOwnErrorBit) {
        for (const OwnErrorText* entry = kOwnErrorTexts; entry->code != 0; ++entry) {
            if (entry->code == code) return entry->text;
        }
    } else {
        // The width mask keeps the system from breaking the text into lines.
        char buffer[512];
        DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr,
                           static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
        if (length > 0)
            return std::string(buffer, std::min<std::size_t>(length, sizeof buffer - 1));
    }
    return "<unknown error: " + std::to_string(code) + ">";
}

std::string LastErrorText() { return ErrorText(CodeFromLastError()); }

int ReportErrorCode(HWND owner, ErrorCode code, const char* prefix, const char* suffix) {
    std::string message;
    if (prefix && *prefix) {
        message += prefix;
        message += ' ';
    }
    message += ErrorText(code);
    if (suffix && *suffix) {
        message += ' ';
        message += suffix;
    }
    return errorBox(owner, message.c_str());
}

void SetErrorBoxFunction(ErrorBoxFunction box) { errorBox = box ? box : ReportToStandardError; }

ErrorCode cError::SetError(ErrorCode code) { return FError = code; }

ErrorCode cError::SetErrorFromLastError() { return FError = CodeFromLastError(); }

ErrorCode cError::GetError() const { return FError; }

bool cError::IsOwnError() const { return (FError & kOwnErrorBit) != 0; }

bool cError::IsNotOwnError() const { return (FError & kOwnErrorBit) == 0; }

ErrorCode cError::CopyError(const cError& other) { return FError = other.GetError(); }

void cError::GetErrorText(std::string& text) const { text = ErrorText(FError); }

char* cError::GetErrorText(char* buffer, std::size_t size) const {
    if (!buffer || size == 0) return buffer;
    std::string text = ErrorText(FError);
    std::size_t count = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), count);
    std::memset(buffer + count, 0, size - count);
    return buffer;
}

int cError::ReportError(HWND owner, const char* prefix, const char* suffix) const {
    return ReportErrorCode(owner, FError, prefix, suffix);
}

int cError::ReportError(HWND owner, const std::string& prefix, const std::string& suffix) const {
    return ReportErrorCode(owner, FError, prefix.c_str(), suffix.c_str());
}
