// The harmless command of the link-key tests: it only leaves a mark that it ran.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (const char* path = std::getenv("LINKTARGET_MARK")) {
        if (FILE* mark = std::fopen(path, "wb")) {
            std::fputs("launched\n", mark);
            std::fclose(mark);
        }
    }
    return 0;
}
