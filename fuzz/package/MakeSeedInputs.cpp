// Writes the input files that the seed manifests name: a stub, two module programs, BMPs of
// each depth the saver reads and a JPEG. The seed corpus is then built from them by the tool.
#include <fstream>
#include <string>

#include "SaverInputs.h"

namespace {

void Write(const std::string& folder, const char* name, const std::string& bytes) {
    std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::string folder = argv[1];
    Write(folder, "stub.scr", ProgramBytes(256));
    Write(folder, "show.exe", ProgramBytes(300, 's'));
    Write(folder, "leave.exe", ProgramBytes(40, 'l'));
    Write(folder, "p24.bmp", BmpBytes(5, 3));
    Write(folder, "p8.bmp", BmpBytes(6, 2, 0, 8));
    Write(folder, "p4.bmp", BmpBytes(7, 2, 0, 4));
    Write(folder, "p1.bmp", BmpBytes(9, 2, 0, 1));
    Write(folder, "photo.jpg", JpegBytes(16, 8));
    return 0;
}
