// The run folder: made exclusively, held by its lock, removed when nothing uses it.

#include "package/ssRunFolder.h"

#include <cwchar>
#include <stdexcept>
#include <vector>

#include "support/Path.h"
#include "support/Text.h"

namespace {

[[noreturn]] void RaiseCreateError(const char* message, const char* path = "") {
    throw std::runtime_error(std::string(message) + path);
}

constexpr std::size_t kPrefixLength = 9;  // "Saverpak-"
constexpr std::size_t kNameLength = kPrefixLength + 8;

bool IsRunFolderName(const wchar_t* name) {
    if (std::wcslen(name) != kNameLength ||
        std::wcsncmp(name, ssRunFolder::kPrefix, kPrefixLength) != 0)
        return false;
    for (const wchar_t* p = name + kPrefixLength; *p; ++p) {
        if (!((*p >= L'0' && *p <= L'9') || (*p >= L'a' && *p <= L'f'))) return false;
    }
    return true;
}

bool IsDots(const wchar_t* name) { return !std::wcscmp(name, L".") || !std::wcscmp(name, L".."); }

// Held open for reading and writing, shared for reading only: while any process holds it,
// deleting it fails, and so does opening it for a clean-up.
UniqueFile CreateLock(const std::wstring& path) {
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The files of a folder, or false when it holds anything but files (not one of ours).
bool ListFiles(const std::wstring& folder, std::vector<std::wstring>& files) {
    WIN32_FIND_DATAW data;
    UniqueFind search(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!search) return false;
    bool plain = true;
    do {
        if (IsDots(data.cFileName)) continue;
        if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
            plain = false;
            break;
        }
        files.emplace_back(data.cFileName);
    } while (FindNextFileW(search.Get(), &data));
    return plain;
}

// Removes one earlier run's folder unless something still uses it. Its lock, opened with no
// sharing, is held meanwhile: a saver starting at the same moment sees the folder in use.
void RemoveIfUnused(const std::wstring& folder) {
    std::vector<std::wstring> files;
    if (!ListFiles(folder, files)) return;
    bool locked = false;
    for (const std::wstring& file : files) locked |= file == ssRunFolder::kLockName;
    if (!locked) return;  // not made by a run of ours
    const std::wstring lockPath = folder + L"\\" + ssRunFolder::kLockName;
    UniqueFile lock(CreateFileW(lockPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!lock) return;  // a saver or its module holds it
    for (const std::wstring& file : files) {
        if (file == ssRunFolder::kLockName) continue;
        const std::wstring path = folder + L"\\" + file;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        // A file in use (a program started from it) keeps the folder for a later clean-up.
        if (!DeleteFileW(path.c_str())) return;
    }
    lock.Reset();
    if (DeleteFileW(lockPath.c_str())) RemoveDirectoryW(folder.c_str());
}

// A name unlikely to be taken: the process id and the performance counter mixed.
std::uint32_t NameSeed() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    std::uint64_t mixed = (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^
                          static_cast<std::uint64_t>(counter.QuadPart);
    mixed *= 0x9E3779B97F4A7C15ull;
    return static_cast<std::uint32_t>(mixed >> 32);
}

}  // namespace

void RemoveUnusedRunFolders(const std::wstring& temp) {
    WIN32_FIND_DATAW data;
    UniqueFind search(FindFirstFileW((temp + ssRunFolder::kPrefix + L"*").c_str(), &data));
    if (!search) return;
    std::vector<std::wstring> folders;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            IsRunFolderName(data.cFileName))
            folders.push_back(temp + data.cFileName);
    } while (FindNextFileW(search.Get(), &data));
    search.Reset();
    for (const std::wstring& folder : folders) RemoveIfUnused(folder);
}

void ssRunFolder::Create() {
    if (IsCreated()) return;
    wchar_t temp[kPathCharacters];
    DWORD length = GetTempPathW(kPathCharacters, temp);
    if (length == 0 || length >= kPathCharacters)
        RaiseCreateError("Error creating output file. The temporary directory cannot be used.");
    std::wstring directory(temp, length);
    if (directory.back() != L'\\' && directory.back() != L'/') directory += L'\\';
    RemoveUnusedRunFolders(directory);

    // Room for the folder, a separator and a module name of some length in the path limit.
    if (directory.size() + kNameLength + 2 >= kPathCharacters)
        RaiseCreateError("Error creating output file. The path is too long.");
    std::uint32_t seed = NameSeed();
    for (int attempt = 0;; ++attempt, ++seed) {
        wchar_t name[kNameLength + 1];
        std::swprintf(name, kNameLength + 1, L"%ls%08x", kPrefix, seed);
        std::wstring path = directory + name;
        // An existing name, whoever made it, is never entered: another one is chosen.
        if (CreateDirectoryW(path.c_str(), nullptr)) {
            FLock = CreateLock(path + L"\\" + kLockName);
            if (!FLock) {
                RemoveDirectoryW(path.c_str());
                RaiseCreateError("Error creating output file. ", ActiveText(path).c_str());
            }
            FWidePath = path;
            FPath = ActiveText(path);
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS || attempt == 100)
            RaiseCreateError("Error creating output file. ", ActiveText(path).c_str());
    }
}

void ssRunFolder::Remove() {
    if (!IsCreated()) return;
    FLock.Reset();
    std::vector<std::wstring> files;
    const std::wstring lockPath = FWidePath + L"\\" + kLockName;
    // The lock goes last, and only from a folder that holds nothing else: otherwise it is
    // what tells a later clean-up that the folder is ours.
    if (ListFiles(FWidePath, files) && files.size() == 1 && files[0] == kLockName &&
        DeleteFileW(lockPath.c_str()))
        RemoveDirectoryW(FWidePath.c_str());
    FWidePath.clear();
    FPath.clear();
}

ssRunFolder::InheritedLock::InheritedLock(const ssRunFolder& folder)
    : FLock(folder.FLock ? folder.FLock.Get() : nullptr) {
    if (FLock) SetHandleInformation(FLock, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
}

ssRunFolder::InheritedLock::~InheritedLock() {
    if (FLock) SetHandleInformation(FLock, HANDLE_FLAG_INHERIT, 0);
}

void ssRunFolder::Leave() {
    FLock.Reset();
    FWidePath.clear();
    FPath.clear();
}
