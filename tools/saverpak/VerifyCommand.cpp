#include <iostream>

#include "tools/saverpak/Commands.h"
#include "tools/saverpak/container/Inspect.h"
#include "tools/saverpak/io/PathText.h"
#include "tools/saverpak/io/ToolError.h"
#include "tools/saverpak/io/ToolMessages.h"

void VerifySaver(const std::filesystem::path& file) {
    NamingFile(PathText(file), [&] { InspectPak(PathText(file), InspectDepth::Everything); });
}
