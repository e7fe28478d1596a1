// saverpak: builds, inspects, verifies and takes apart savers (a stub with a container).
#include <CLI/CLI.hpp>

#include "tools/saverpak/Commands.h"
#ifdef SAVERPAK_HAVE_PREVIEW
#include "tools/saverpak/PreviewCommand.h"
#endif

int main(int argc, char** argv) {
    CLI::App app{"saverpak: build, list, verify and extract the content container of a saver"};
    app.name("saverpak");
    app.require_subcommand(1);
    AddBuildCommand(app);
    AddListCommand(app);
    AddVerifyCommand(app);
    AddExtractCommand(app);
#ifdef SAVERPAK_HAVE_PREVIEW
    AddPreviewCommand(app);
#endif
    return RunSaverpak(app, argc, argv);
}
