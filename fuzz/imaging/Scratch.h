// The scratch file an imaging fuzz target hands its input through: the decoders read files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "support/Error.h"

// One path per process and target kind, under the temporary directory.
inline std::string ScratchPath(const char* kind) {
    char base[MAX_PATH];
    GetTempPathA(sizeof(base), base);
    std::string path = base;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + "saverpak-" + kind + "-fuzz-" +
           std::to_string(reinterpret_cast<std::uintptr_t>(&path) & 0xFFFFF) + "." + kind;
}

// Rewrites the scratch file with the input; false when it cannot be written.
inline bool WriteScratch(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    return true;
}
