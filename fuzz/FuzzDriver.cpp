// Stands in for libFuzzer where the compiler has none: runs LLVMFuzzerTestOneInput over every
// file named on the command line (or inside a folder named there), then over `-runs=N` seeded
// mutations of those inputs. The mutations come from a fixed generator and seed, so a failing
// run can be repeated exactly: the driver prints the run number before each input it makes.
//
//   driver [-runs=N] [-seed=S] FILE_OR_FOLDER...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Input = std::vector<std::uint8_t>;

Input ReadInput(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Input(std::istreambuf_iterator<char>(in), {});
}

// One small change of the kinds that find parser faults: flipped bits, boundary values over
// 32-bit fields, cut or grown tails, copied ranges.
void Mutate(Input& data, std::mt19937& random) {
    auto pick = [&](std::size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    static constexpr std::uint32_t kInteresting[] = {
        0,  1,          8,          9,          13,         17,          32,
        33, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF8, 4000000000u, 0x10000};
    switch (random() % 6) {
        case 0:
            if (!data.empty())
                data[pick(data.size())] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            break;
        case 1:
            if (!data.empty()) data[pick(data.size())] = static_cast<std::uint8_t>(random());
            break;
        case 2:
        case 3:
            // The container's fields are 32-bit values, most of them near the end of the file.
            if (data.size() >= 4) {
                std::size_t at =
                    random() % 2
                        ? pick(data.size() - 3)
                        : data.size() - 4 - pick(std::min<std::size_t>(data.size() - 3, 700));
                std::uint32_t value = kInteresting[pick(std::size(kInteresting))];
                if (random() % 3 == 0) value = static_cast<std::uint32_t>(data.size() - pick(64));
                std::memcpy(&data[at], &value, 4);
            }
            break;
        case 4:
            data.resize(pick(data.size() + 1));
            break;
        default:
            if (data.size() > 8) {
                std::size_t from = pick(data.size()), to = pick(data.size());
                std::size_t n = std::min({pick(64) + 1, data.size() - from, data.size() - to});
                std::memmove(&data[to], &data[from], n);
            }
            break;
    }
}

}  // namespace

int main(int argc, char** argv) {
    long runs = 0;
    unsigned seed = 1;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("-runs=", 0) == 0) {
            runs = std::strtol(arg.c_str() + 6, nullptr, 10);
        } else if (arg.rfind("-seed=", 0) == 0) {
            seed = static_cast<unsigned>(std::strtoul(arg.c_str() + 6, nullptr, 10));
        } else if (arg.rfind("-", 0) == 0) {
            continue;  // libFuzzer options this driver does not have
        } else if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else {
            files.push_back(arg);
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<Input> corpus;
    for (const auto& file : files) {
        corpus.push_back(ReadInput(file));
        LLVMFuzzerTestOneInput(corpus.back().data(), corpus.back().size());
    }
    std::printf("replayed %zu inputs\n", corpus.size());
    if (corpus.empty()) {
        std::fprintf(stderr, "no corpus: nothing to mutate\n");
        return runs > 0 ? 1 : 0;
    }
    std::mt19937 random(seed);
    for (long run = 0; run < runs; ++run) {
        Input data = corpus[random() % corpus.size()];
        int changes = 1 + static_cast<int>(random() % 4);
        for (int c = 0; c < changes; ++c) Mutate(data, random);
        if (std::getenv("FUZZ_DRIVER_TRACE")) std::printf("run %ld\n", run);
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::printf("ran %ld mutations (seed %u)\n", runs, seed);
    return 0;
}
