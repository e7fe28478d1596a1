// saverpak: builds, inspects, verifies and takes apart savers (a stub with a container).
#include "tools/saverpak/Commands.h"
#ifdef SAVERPAK_HAVE_PREVIEW
#include "tools/saverpak/PreviewCommand.h"
#endif

int main(int argc, char** argv) {
#ifdef SAVERPAK_HAVE_PREVIEW
    return RunSaverpak(argc, argv, PreviewPicture);
#else
    return RunSaverpak(argc, argv);
#endif
}
