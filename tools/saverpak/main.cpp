// saverpak: builds, inspects, verifies and takes apart savers (a stub with a container).
#include "tools/saverpak/Commands.h"

int main(int argc, char** argv) { return RunSaverpak(argc, argv); }
