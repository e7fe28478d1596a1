// The owning handle template: one move-only type per kind of handle, each with the empty value
// its API uses, so that no exit path has to remember to close it. The portable core and the
// module runner hold their kernel handles in these; the framework adds its own kinds.
#pragma once

#include <utility>

#include "support/Platform.h"

// Owns a handle of type T that `Close` releases; `Empty` is the value meaning "no handle".
template <typename T, auto Close, T Empty = T{}>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(T value) : FValue(value) {}
    ~UniqueAny() { Reset(); }
    UniqueAny(UniqueAny&& other) noexcept : FValue(other.Release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    T Get() const { return FValue; }
    explicit operator bool() const { return FValue != Empty; }
    T Release() { return std::exchange(FValue, Empty); }
    void Reset(T value = Empty) {
        T old = std::exchange(FValue, value);
        if (old != Empty) Close(old);
    }

private:
    T FValue = Empty;
};

inline void CloseKernelHandle(HANDLE h) { ::CloseHandle(h); }

// Threads, processes, jobs, events: empty at NULL. (CreateFile's failure value,
// INVALID_HANDLE_VALUE, is turned into NULL before a file handle is kept in one.)
using UniqueHandle = UniqueAny<HANDLE, CloseKernelHandle>;
