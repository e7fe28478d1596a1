// The parts of the module runner that do not start processes: extraction, the argument file
// and its text. They build everywhere, so the container tests can cover them natively.

#include "package/ssModule.h"

#include <cstring>
#include <stdexcept>

#include "package/PakEntries.h"
#include "package/PakFormat.h"
#include "package/ssPak.h"
#include "support/File.h"
#include "support/Text.h"

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
long DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153L * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int SettingDigit(int value) { return value == 1 || value == 2 ? value : 0; }

}  // namespace

int DaysToNextChristmas(int year, int month, int day) {
    // The time of day is the same on both sides, so whole days are exact.
    int christmasYear = (month == 12 && day > 25) ? year + 1 : year;
    return static_cast<int>(DaysFromCivil(christmasYear, 12, 25) - DaysFromCivil(year, month, day));
}

std::string ModuleArgumentText(int sound, int music, int days) {
    return "SS_Sound=" + std::to_string(SettingDigit(sound)) +
           "&SS_Music=" + std::to_string(SettingDigit(music)) + "&SS_Days=" + std::to_string(days);
}

bool ArgumentFilePath(const char* modulePath, char* out, std::size_t outSize) {
    return ReplaceExtension(out, outSize, modulePath, ".cfg");
}

bool ssModule::IsExternal() const { return (FFlags & kModuleExternal) != 0; }

void ssModule::Extract(ssPak& pak, std::int32_t position) {
    ssModuleEntry entry;
    ReadModuleEntry(pak, position, entry);
    FFlags = entry.Descriptor.Flags;
    FArgMethod = entry.Descriptor.ArgMethod;
    if (IsExternal()) {
        // Under 260 characters (checked with the entry): its path fits in any code page.
        std::strcpy(FModulePath, FromWindows1252(entry.Name.Text()).c_str());
        return;
    }
    char path[kPathSize];
    const auto data = static_cast<std::int32_t>(entry.Descriptor.DataOffset);
#ifdef _WIN32
    FFolder.Create();
    pak.ExtractModuleInto(data, FFolder.Path(), entry.Name.Text(), path, sizeof path);
#else
    pak.ExtractModuleToTemp(data, entry.Name.Text(), path, sizeof path);
#endif
    std::strcpy(FModulePath, path);
}

void ssModule::SetFileArgs(const char* modulePath, const char* text) {
    char path[kPathSize];
    const std::size_t length = std::strlen(text);
    if (length >= sizeof FArgumentText || !ArgumentFilePath(modulePath, path, sizeof path)) {
        throw std::runtime_error("Error creating argument file.");
    }
    // Clears a read-only mark that an earlier run may have left on the file.
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    cFile file;
    if (file.Create(path, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ) != 0) {
        throw std::runtime_error("Error creating argument file.");
    }
    // A full disk takes the bytes only in part, or fails them at the close: the module would
    // read a cut-short text.
    const bool written =
        file.Write(text, static_cast<DWORD>(length)) == length && file.GetError() == 0;
    if (file.Close() != 0 || !written) {
        DeleteFileA(path);
        throw std::runtime_error("Error creating argument file.");
    }
    // Recorded only now: Terminate deletes this path, and it must be a file this run wrote.
    std::strcpy(FArgumentPath, path);
    std::strcpy(FArgumentText, text);
}

void ssModule::DeleteOrKeep(char* path) {
    if (path[0] && !DeleteFileA(path) && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetLastError() != ERROR_PATH_NOT_FOUND) {
        FUndeleted.emplace_back(path);
    }
    path[0] = '\0';
}

void ssModule::RemoveExtractedFiles() {
    std::vector<std::string> earlier;
    earlier.swap(FUndeleted);
    for (std::string& path : earlier) DeleteOrKeep(path.data());
    DeleteOrKeep(FArgumentPath);
    // Forgotten in every case: an External program is the user's, and an unnamed copy's "pak"
    // name, once free, may soon be another program's file.
    if (IsExternal()) FModulePath[0] = '\0';
    DeleteOrKeep(FModulePath);
}
