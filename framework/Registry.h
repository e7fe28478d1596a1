// A registry key accessor: one root, at most one open key, integers read and written.
//
// Reading or writing a value that cannot be read or written as asked raises ERegistryException
// with the value's name in its message; the key is closed when the accessor goes.
#pragma once

#include <windows.h>

#include <string>

#include "framework/Exception.h"
#include "support/Handles.h"

namespace fw {

class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

class TRegistry {
public:
    explicit TRegistry(HKEY root = HKEY_CURRENT_USER) : FRoot(root) {}

    HKEY RootKey() const { return FRoot; }
    HKEY CurrentKey() const { return FKey.Get(); }
    // A path beginning with a backslash is taken from the root. Returns false when the key
    // cannot be opened (or, with canCreate, created).
    bool OpenKey(const std::string& path, bool canCreate);
    bool OpenKeyReadOnly(const std::string& path);
    void CloseKey() { FKey.Reset(); }

    bool ValueExists(const std::string& name) const;
    // Raises when the value is missing or is not a 32-bit integer.
    int ReadInteger(const std::string& name) const;
    void WriteInteger(const std::string& name, int value);

private:
    static std::string Relative(const std::string& path);

    HKEY FRoot;
    UniqueKey FKey;
};

}  // namespace fw
