// Error codes and the error-state base class.
//
// A code is a signed 32-bit value: 0 is success, codes with bit 27 set are our own (the table
// in Error.cpp), every other code is a Windows system error code as GetLastError returns it.
// The rule goes by class prefix (docs/ARCHITECTURE.md, "Errors"): the c-classes, cError and
// what derives from it, never throw: an operation stores its code in the object and returns it,
// and a caller that failed because another object failed copies that object's code. The
// ss-classes and our own code above them raise std::runtime_error with the user's message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/Platform.h"

using ErrorCode = std::int32_t;

constexpr ErrorCode kOwnErrorBit = 0x08000000;

// Our own codes. Their texts are in Error.cpp; the values are stored nowhere but must not change.
enum : ErrorCode {
    ERR_CREATE_FAILED = 0x08000001,
    ERR_OPEN_FAILED = 0x08000002,
    ERR_READ_FAILED = 0x08000003,
    ERR_WRITE_FAILED = 0x08000004,
    ERR_SEEK_FAILED = 0x08000005,
    ERR_RECORD_DELETED = 0x08000006,
    ERR_BUFFER_TOO_SMALL = 0x08000007,
    ERR_END_OF_FILE = 0x08000008,
    ERR_FILE_EXISTS = 0x08000009,
    ERR_INVALID_FORMAT = 0x0800000A,
    ERR_MISSING_OR_CORRUPT = 0x0800000B,
    ERR_OUT_OF_MEMORY = 0x0800000E,
    ERR_GDI_FAILED = 0x0800000F,
    ERR_LOAD_FAILED = 0x08000010,
    ERR_SAVE_FAILED = 0x08000011,
    ERR_CREATE_WINDOW_FAILED = 0x08000012,
    ERR_DRIVER_INIT_FAILED = 0x08000013,
    ERR_FILE_NOT_FOUND = 0x08000014,
    ERR_BACKUP_FAILED = 0x08000015,
    ERR_CANCELLED = 0x08000016,
    ERR_INVALID_KEYWORD = 0x08000017,
    ERR_SYNTAX = 0x08000018,
    ERR_END_OF_LINE = 0x08000019,
    ERR_INVALID_FUNCTION = 0x0800001A,
    ERR_UNSUPPORTED_FUNCTION = 0x0800001B,
    ERR_NO_ERROR_INFORMATION = 0x0800001C,
};

// The text of a code: our own table for codes with bit 27 set, the system's text otherwise,
// else "<unknown error: N>".
std::string ErrorText(ErrorCode code);

// ErrorText of GetLastError(), or of ERR_NO_ERROR_INFORMATION when the system left no code.
std::string LastErrorText();

// Shows "[prefix ]text[ suffix]" in the shell's warning box owned by `owner` and returns the
// box's result. Either of prefix and suffix may be null or empty.
int ReportErrorCode(HWND owner, ErrorCode code, const char* prefix, const char* suffix);

// The warning box lives in the shell, which sits above this library: the shell installs its
// box here at start-up. Until it does (tools, tests), reports go to standard error.
using ErrorBoxFunction = int (*)(HWND owner, const char* text);
void SetErrorBoxFunction(ErrorBoxFunction box);

class cError {
public:
    cError() = default;
    virtual ~cError() = default;

    virtual ErrorCode SetError(ErrorCode code);
    virtual ErrorCode SetErrorFromLastError();
    virtual ErrorCode GetError() const;
    virtual bool IsOwnError() const;
    virtual bool IsNotOwnError() const;
    virtual ErrorCode CopyError(const cError& other);
    virtual void GetErrorText(std::string& text) const;
    virtual char* GetErrorText(char* buffer, std::size_t size) const;
    virtual int ReportError(HWND owner, const char* prefix, const char* suffix) const;
    virtual int ReportError(HWND owner, const std::string& prefix, const std::string& suffix) const;

private:
    ErrorCode FError = 0;
};
