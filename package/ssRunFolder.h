// A full-screen run's folder of its own under the temporary directory.
//
// The temporary directory is shared by every program the user runs. A module extracted straight
// into it could overwrite a user's file of the same name, and Windows would hand it every
// library lying there (a program's own folder is searched first for each library that is no
// KnownDLL). So each run makes a new folder with a unique name, created exclusively, and puts
// only its own files in it: the module copies and their argument files.
//
// The folder holds a lock file, opened without FILE_SHARE_DELETE for the run's whole life: by
// the saver, and (the handle is inherited as they start) by the module programs it starts, so
// that a module the leave-running key left behind keeps its folder in use after the saver has
// gone. Nothing else inherits it: a program a hot key launches would hold the folder too. At the
// start of a run, the folders of earlier runs whose lock nobody holds any more (a saver that
// was ended without its close, a left module that has since ended) are removed. A folder is
// taken for ours only by its name and what it holds, never by its age.
#pragma once

#include <string>

#include "support/Handles.h"
#include "support/Platform.h"

class ssRunFolder {
public:
    ssRunFolder() = default;
    ~ssRunFolder() { Remove(); }
    ssRunFolder(const ssRunFolder&) = delete;
    ssRunFolder& operator=(const ssRunFolder&) = delete;

    // Removes what earlier runs left that nothing uses, then makes the folder and its lock.
    // Raises "Error creating output file. " followed by the folder's path, or by "The path is
    // too long." when the temporary directory leaves no room for it.
    void Create();
    bool IsCreated() const { return !FPath.empty(); }
    // The folder's path in the active code page, without a final backslash.
    const char* Path() const { return FPath.c_str(); }

    // At the close: the saver's hold ends, and the folder goes when nothing but the lock is
    // left in it (a copy that could not be deleted yet keeps it for a later run's clean-up).
    void Remove();
    // For the leave-running key: the folder and what it holds stay for the program left
    // running, which holds the lock itself.
    void Leave();

    // While it lives, programs started inherit the lock (the module runner's CreateProcess).
    class InheritedLock {
    public:
        explicit InheritedLock(const ssRunFolder& folder);
        ~InheritedLock();
        InheritedLock(const InheritedLock&) = delete;
        InheritedLock& operator=(const InheritedLock&) = delete;

    private:
        HANDLE FLock;  // null without a folder
    };

    // Folder names begin with this, followed by eight hexadecimal digits.
    static constexpr const wchar_t* kPrefix = L"Saverpak-";
    // A plain module name never begins with a dot, nor does its argument file's name: the lock
    // can never be mistaken for one of them.
    static constexpr const wchar_t* kLockName = L".saverpak-run";

private:
    std::wstring FWidePath;
    std::string FPath;
    UniqueFile FLock;
};

// Removes the run folders in `temp` (ending in a backslash) that nothing uses any more.
void RemoveUnusedRunFolders(const std::wstring& temp);
