#include <iostream>

#include "tools/saverpak/Commands.h"
#include "tools/saverpak/Inspect.h"
#include "tools/saverpak/PathText.h"
#include "tools/saverpak/ToolError.h"

void VerifySaver(const std::filesystem::path& file) {
    NamingFile(PathText(file), [&] { InspectPak(PathText(file), InspectDepth::Everything); });
}
