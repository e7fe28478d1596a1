#include "framework/MessageBoxes.h"

#include "framework/Application.h"
#include "framework/Form.h"

namespace fw {

void ReportException(const std::exception* error) {
    if (Application) Application->HandleException(error);
}

int TApplication::MessageBox(const std::string& text, const char* caption, UINT flags) {
    HWND owner = ::GetActiveWindow();
    if (!owner && FMainForm && FMainForm->HandleAllocated()) {
        owner = FMainForm->HandleIfCreated();
    }
    return ::MessageBoxA(owner, text.c_str(), caption ? caption : FTitle.c_str(), flags);
}

void TApplication::ShowException(const std::exception& error) {
    MessageBox(error.what(), FTitle.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException(const std::exception* error) {
    if (error) {
        ShowException(*error);
    } else {
        MessageBox("An unexpected error occurred.", FTitle.c_str(), MB_OK | MB_ICONSTOP);
    }
}

}  // namespace fw
