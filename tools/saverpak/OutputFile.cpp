#include "tools/saverpak/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "tools/saverpak/PathText.h"
#include "tools/saverpak/ToolError.h"

namespace fs = std::filesystem;

namespace {

std::atomic<unsigned> gTempCounter{0};

int CurrentProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

// Creates `path` only when no file of that name exists yet.
std::FILE* CreateNew(const fs::path& path) {
#ifdef _WIN32
    int fd = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    return fd < 0 ? nullptr : _fdopen(fd, "wb");
#else
    int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
    return fd < 0 ? nullptr : fdopen(fd, "wb");
#endif
}

}  // namespace

OutputFile::OutputFile(fs::path output) : FOutput(std::move(output)) {
    fs::path folder = FOutput.parent_path();
    std::string base = PathText(FOutput.filename());
    for (int attempt = 0; attempt < 100 && !FStream; ++attempt) {
        std::string name = "." + base + ".saverpak-" + std::to_string(CurrentProcessId()) + "-" +
                           std::to_string(gTempCounter++) + ".tmp";
        FTemp = folder / PathFromText(name);
        FStream = CreateNew(FTemp);
        if (!FStream && errno != EEXIST) break;
    }
    if (!FStream)
        throw ToolError("cannot create a temporary file beside " + PathText(FOutput) + ": " +
                        std::strerror(errno));
}

OutputFile::~OutputFile() {
    if (FCommitted) return;
    if (FStream) std::fclose(FStream);
    std::error_code ignored;
    fs::remove(FTemp, ignored);
}

void OutputFile::Write(const void* bytes, std::size_t count) {
    if (count != 0 && std::fwrite(bytes, 1, count, FStream) != count)
        throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
}

void OutputFile::CopyFrom(std::FILE* source, std::uint64_t offset, std::uint64_t count,
                          const std::string& sourceName) {
    auto ended = [&] {
        return ToolError("cannot read " + sourceName + " (did it change during the build?)");
    };
#ifdef __linux__
    // Bytes written through the stream go first; then the kernel appends the copy.
    if (std::fflush(FStream) != 0)
        throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
    auto from = static_cast<off_t>(offset);
    while (count != 0) {
        ssize_t copied = copy_file_range(fileno(source), &from, fileno(FStream), nullptr,
                                         static_cast<std::size_t>(count), 0);
        if (copied < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                           errno == EOPNOTSUPP))
            break;  // no copy between these files: the buffer below does it
        if (copied < 0)
            throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
        if (copied == 0) throw ended();
        count -= static_cast<std::uint64_t>(copied);
    }
    // The stream's own idea of its position follows the file again.
    if (std::fseek(FStream, 0, SEEK_END) != 0)
        throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
    offset = static_cast<std::uint64_t>(from);
#endif
    if (count == 0) return;
    constexpr std::size_t kChunk = 1 << 20;
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(count, kChunk)));
    if (std::fseek(source, static_cast<long>(offset), SEEK_SET) != 0) throw ended();
    while (count != 0) {
        std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(count, kChunk));
        if (std::fread(buffer.data(), 1, chunk, source) != chunk) throw ended();
        Write(buffer.data(), chunk);
        count -= chunk;
    }
}

void OutputFile::CloseStream() {
    if (!FStream) return;
    std::FILE* stream = FStream;
    FStream = nullptr;
    if (std::fclose(stream) != 0)
        throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
}

void OutputFile::Commit() {
    CloseStream();
    std::error_code error;
    fs::rename(FTemp, FOutput, error);
    if (error) throw ToolError("cannot write " + PathText(FOutput) + ": " + error.message());
    FCommitted = true;
}

void RefuseSameFile(const fs::path& output, const fs::path& input, const char* what) {
    std::error_code error;
    if (fs::equivalent(output, input, error))
        throw ToolError("the output " + PathText(output) + " is the " + what + " " +
                        PathText(input) + "; choose another output file");
}
