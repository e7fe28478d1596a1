// saverpak preview: shows what the saver would put on a screen of a given depth, as a PNG.
#pragma once

#include "tools/saverpak/Commands.h"

// Loads, fits, quantises and dithers exactly as the saver's picture loader does for that
// screen, and writes the result as an 8-bit RGB PNG. Throws with a message on any failure; the
// output is then left as it was.
void PreviewPicture(const PreviewOptions& options);
