#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/Error.h"

namespace {

std::string lastBoxText;
HWND lastBoxOwner = nullptr;

int RecordBox(HWND owner, const char* text) {
    lastBoxOwner = owner;
    lastBoxText = text;
    return 7;
}

class ErrorBoxRecorder {
public:
    ErrorBoxRecorder() {
        lastBoxText.clear();
        SetErrorBoxFunction(RecordBox);
    }
    ~ErrorBoxRecorder() { SetErrorBoxFunction(nullptr); }
};

TEST(ErrorText, OwnCodesHaveTheirTableTexts) {
    EXPECT_EQ(ErrorText(ERR_CREATE_FAILED), "Attempt to create the file failed.");
    EXPECT_EQ(ErrorText(ERR_END_OF_FILE), "End of file.");
    EXPECT_EQ(ErrorText(ERR_CANCELLED), "Operation cancelled.");
    EXPECT_EQ(ErrorText(ERR_NO_ERROR_INFORMATION),
              "A Windows API function failed but no error information was returned.");
}

TEST(ErrorText, UnknownOwnCodesAndUndescribedSystemCodesSayUnknown) {
    // 0x0C and 0x0D are gaps in the table; 0x1D is past its end.
    EXPECT_EQ(ErrorText(0x0800001D), "<unknown error: 134217757>");
    EXPECT_EQ(ErrorText(0x0800000C), "<unknown error: 134217740>");
    EXPECT_EQ(ErrorText(0x0FFFFFFF), "<unknown error: 268435455>");
    EXPECT_EQ(ErrorText(-559038737 & ~kOwnErrorBit), "<unknown error: -693256465>");
}

TEST(ErrorText, SystemCodesAreOneLineOfSystemText) {
    for (ErrorCode code : {0, 2, 3, 5, 6, 87}) {
        std::string text = ErrorText(code);
        SCOPED_TRACE(code);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find('\n'), std::string::npos);
        EXPECT_EQ(text.find('<'), std::string::npos);
    }
}

TEST(ErrorText, LastErrorTextFallsBackWhenTheSystemLeftNoCode) {
    SetLastError(0);
    EXPECT_EQ(LastErrorText(), ErrorText(ERR_NO_ERROR_INFORMATION));
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(LastErrorText(), ErrorText(ERROR_FILE_NOT_FOUND));
}

TEST(cError, StoresCopiesAndClassifiesCodes) {
    cError a, b;
    EXPECT_EQ(a.GetError(), 0);
    EXPECT_TRUE(a.IsNotOwnError());
    EXPECT_EQ(a.SetError(ERR_END_OF_FILE), ERR_END_OF_FILE);
    EXPECT_TRUE(a.IsOwnError());
    EXPECT_FALSE(a.IsNotOwnError());
    EXPECT_EQ(b.CopyError(a), ERR_END_OF_FILE);
    b.SetError(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(b.IsOwnError());

    SetLastError(0);
    EXPECT_EQ(a.SetErrorFromLastError(), ERR_NO_ERROR_INFORMATION);  // a failure never reads as 0
    SetLastError(ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(a.SetErrorFromLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(cError, ErrorTextIntoABufferIsBoundedAndZeroFilled) {
    cError e;
    e.SetError(ERR_END_OF_FILE);
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(e.GetErrorText(buffer, 5), buffer);
    EXPECT_STREQ(buffer, "End ");
    EXPECT_EQ(buffer[5], 'x');  // nothing past the stated size

    std::memset(buffer, 'x', sizeof buffer);
    e.SetError(ERR_SYNTAX);  // longer than the buffer
    e.GetErrorText(buffer, 1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'x');

    char wide[64];
    std::memset(wide, 'x', sizeof wide);
    e.SetError(ERR_END_OF_FILE);
    e.GetErrorText(wide, sizeof wide);
    EXPECT_STREQ(wide, "End of file.");
    for (std::size_t i = 12; i < sizeof wide; ++i) ASSERT_EQ(wide[i], '\0') << i;

    std::string text;
    e.GetErrorText(text);
    EXPECT_EQ(text, "End of file.");
}

TEST(ReportErrorCode, JoinsPrefixTextAndSuffixWithSingleSpaces) {
    ErrorBoxRecorder recorder;
    HWND owner = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(ReportErrorCode(owner, ERR_END_OF_FILE, "", ""), 7);
    EXPECT_EQ(lastBoxText, "End of file.");
    EXPECT_EQ(lastBoxOwner, owner);
    ReportErrorCode(nullptr, ERR_END_OF_FILE, nullptr, nullptr);
    EXPECT_EQ(lastBoxText, "End of file.");
    ReportErrorCode(nullptr, ERR_END_OF_FILE, "Reading", "C:\\x.bmp");
    EXPECT_EQ(lastBoxText, "Reading End of file. C:\\x.bmp");

    cError e;
    e.SetError(ERR_CANCELLED);
    e.ReportError(owner, std::string("Loading"), std::string());
    EXPECT_EQ(lastBoxText, "Loading Operation cancelled.");
    e.ReportError(owner, nullptr, "now");
    EXPECT_EQ(lastBoxText, "Operation cancelled. now");
}

}  // namespace
