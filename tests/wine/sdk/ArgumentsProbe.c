/* Reads the argument file beside itself through saverpak_module.h, as a module does, and tells
 * what it got in its exit code: sound + 10 * music + 100 * days + 100000 * defaulted. */
#include "saverpak_module.h"

int main(void) {
    SaverpakArguments arguments;
    SaverpakReadArguments(&arguments);
    return arguments.sound + 10 * arguments.music + 100 * arguments.days +
           100000 * (int)arguments.defaulted;
}
