// Reading the module and picture descriptors that the index's tables point at, with the checks
// that keep a corrupt container from steering the saver: the module runner, the picture record
// and the build tool's verify all read them through here.
#pragma once

#include <cstdint>

#include "package/PakFormat.h"
#include "package/ssPak.h"

struct ssModuleEntry {
    PakModuleDescriptor Descriptor;
    ssPakString Name;

    bool IsExternal() const { return (Descriptor.Flags & kModuleExternal) != 0; }
    bool ForceMaximize() const { return (Descriptor.Flags & kModuleForceMaximize) != 0; }
};

// Reads the module descriptor at `position` and its Name. Raises "File is corrupt. Error reading
// module descriptor." for a wrong size, "File is corrupt. External module has no name." for an
// external module without a program path, "File is corrupt. Module name is too long." for one
// whose path does not fit a path buffer, and "File is corrupt. Invalid module name." for an
// embedded module whose Name is not a plain file name or an external one whose program path
// would be its own argument file.
void ReadModuleEntry(ssPak& pak, std::int32_t position, ssModuleEntry& entry);

// Reads the picture descriptor at `position`. Raises "File is corrupt. Error reading picture
// descriptor." for a wrong size and "File is corrupt. Invalid picture type." for a type other
// than BMP or JPEG.
PakPictureDescriptor ReadPictureDescriptor(ssPak& pak, std::int32_t position);
