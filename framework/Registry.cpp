#include "framework/Registry.h"

namespace fw {

std::string TRegistry::Relative(const std::string& path) {
    return !path.empty() && path[0] == '\\' ? path.substr(1) : path;
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
    CloseKey();
    HKEY key = nullptr;
    LONG result;
    if (canCreate) {
        result = ::RegCreateKeyExA(FRoot, Relative(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, &key, nullptr);
    } else {
        result = ::RegOpenKeyExA(FRoot, Relative(path).c_str(), 0, KEY_ALL_ACCESS, &key);
    }
    if (result != ERROR_SUCCESS) return false;
    FKey.Reset(key);
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& path) {
    CloseKey();
    HKEY key = nullptr;
    if (::RegOpenKeyExA(FRoot, Relative(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    FKey.Reset(key);
    return true;
}

bool TRegistry::ValueExists(const std::string& name) const {
    if (!FKey) return false;
    return ::RegQueryValueExA(FKey.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

int TRegistry::ReadInteger(const std::string& name) const {
    DWORD type = 0, value = 0, size = sizeof(value);
    LONG result = FKey ? ::RegQueryValueExA(FKey.Get(), name.c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(&value), &size)
                       : ERROR_INVALID_HANDLE;
    // A value of another type may still fit 4 bytes (a short string, a binary); its type, not
    // its size, says whether it is an integer.
    if (result == ERROR_MORE_DATA || (result == ERROR_SUCCESS && type != REG_DWORD)) {
        throw ERegistryException("Invalid data type for '" + name + "'");
    }
    if (result != ERROR_SUCCESS) throw ERegistryException("Failed to get data for '" + name + "'");
    return static_cast<int>(value);
}

void TRegistry::WriteInteger(const std::string& name, int value) {
    DWORD data = static_cast<DWORD>(value);
    LONG result = FKey ? ::RegSetValueExA(FKey.Get(), name.c_str(), 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&data), sizeof(data))
                       : ERROR_INVALID_HANDLE;
    if (result != ERROR_SUCCESS) throw ERegistryException("Failed to set data for '" + name + "'");
}

}  // namespace fw
