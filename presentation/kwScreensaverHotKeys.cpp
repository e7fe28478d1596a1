// The presentation window's hot keys, from the container's key table: one leaves the module
// running as the saver closes; the other launches a command and, when the system runs the
// saver, keeps the saver alive, invisible, behind the close-saver dialog until the user
// confirms.
#include "presentation/kwScreensaverUnit.h"

#include "presentation/DataUnit.h"
#include "shell/SaverServices.h"
#include "support/Error.h"
#include "support/Text.h"

bool TkwScreensaverForm::HandleKeyInput(UINT message, WPARAM key) {
    if (message != WM_KEYDOWN) return false;  // a system key never acts as a hot key
    const ssPakKey::Entry* entry = FPak.Keys().Find(static_cast<std::uint32_t>(key));
    if (!entry) return false;
    switch (entry->Function) {
        case kExitAndLeaveRunning: {
            StopPointerWatch();
            // Only a program that runs is left running; otherwise the close cleans up as any other
            // (its start failed, or it ended between ticks).
            if (!ModuleRunning()) return false;
            // Modules 1 and 2 are extracted for the program that stays; a container without them
            // just leaves module 0 running.
            auto modules = FPak.ModuleTable();
            try {
                for (std::size_t i = 1; i <= 2 && i < modules.size(); ++i) {
                    FModule.Extract(FPak, static_cast<std::int32_t>(modules[i]));
                }
            } catch (const std::exception&) {
                // The saver closes all the same; the module keeps running.
            }
            FLeaveModuleRunning = TRUE;
            PostKeyToModule(key);
            FModule.LeaveRunning();
            return false;
        }
        case kShellExecute:
            ItemTimer->SetEnabled(false);
            StopPointerWatch();
            EnterCloseSaverMode();
            ExecuteCommand(FromWindows1252(entry->Command.Text()).c_str());
            return false;
        default:
            return false;
    }
}

void TkwScreensaverForm::PostKeyToModule(WPARAM key) {
    if (ModuleRunning() && FModule.ProgramWindow()) {
        PostMessageA(FModule.ProgramWindow(), WM_KEYDOWN, key, 0);
    }
}

void TkwScreensaverForm::ExecuteCommand(const char* command) {
    WriteIniString("ShellExecute", nullptr, nullptr);
    WriteIniString("ShellExecute", "Command", command);
    if (fw::Application) fw::Application->SetScreenCursor(fw::crHourGlass);
    const INT_PTR result = ShellExecuteCommand(command);
    if (fw::Application) fw::Application->SetScreenCursor(fw::crDefault);
    if (result <= 32) WriteIniString("ShellExecute", "ShellExecute", LastErrorText().c_str());
}

bool TkwScreensaverForm::EnterCloseSaverMode() {
    if (!IsSystemSaverRunning()) return false;
    if (!FLeaveModuleRunning) StopModule(3000);
    EndSaverRun();  // the system's screen-saver-running flag is cleared
    Hide();
    FBackdrop.Reset();
    FSuspendInput = TRUE;
    FCloseDialog = CreateCloseSaverDialog(Handle());
    return false;
}
