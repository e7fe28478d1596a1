#include "tools/saverpak/io/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#include <process.h>
#else
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "package/ModuleName.h"
#include "tools/saverpak/io/PathText.h"
#include "tools/saverpak/io/ToolError.h"

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

// The temporary file that an interrupt (Ctrl-C, a closed terminal, a kill) must not leave
// behind. Its path is made beforehand: the handler does nothing but remove it and end the
// process as the signal would have.
fs::path::value_type gInterruptedTemp[32768];
std::atomic<bool> gTempArmed{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef _WIN32
// Runs on a thread of its own; the default handler after it ends the process.
BOOL WINAPI RemoveTempOnConsoleEvent(DWORD) {
    if (gTempArmed.load()) DeleteFileW(gInterruptedTemp);
    return FALSE;
}
#else
extern "C" void RemoveTempOnSignal(int signal) {
    if (gTempArmed.load()) unlink(gInterruptedTemp);
    raise(signal);  // the handler was reset on entry: the signal now ends the process
}
#endif

void InstallInterruptCleanup() {
#ifdef _WIN32
    SetConsoleCtrlHandler(RemoveTempOnConsoleEvent, TRUE);
#else
    // SIGBUS: a module cut short by someone else while build reads it mapped (CopyMapped).
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGBUS}) {
        struct sigaction previous {};
        // A signal ignored by whoever started us (nohup) stays ignored.
        if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = RemoveTempOnSignal;
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
#endif
}

void ArmInterruptCleanup(const fs::path& temp) {
    static const bool installed = (InstallInterruptCleanup(), true);
    (void)installed;
    gTempArmed = false;
    const fs::path::string_type& name = temp.native();
    if (name.size() >= std::size(gInterruptedTemp)) return;
    std::copy(name.begin(), name.end(), gInterruptedTemp);
    gInterruptedTemp[name.size()] = 0;
    gTempArmed = true;
}

// Creates `path` only when no file of that name exists yet.
UniqueStream CreateNew(const fs::path& path) {
#ifdef _WIN32
    // Shared for deletion, so that the console handler can remove it while it is being written.
    UniqueFile handle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        const DWORD code = GetLastError();
        errno = code == ERROR_FILE_EXISTS                                      ? EEXIST
                : code == ERROR_PATH_NOT_FOUND || code == ERROR_FILE_NOT_FOUND ? ENOENT
                                                                               : EACCES;
        return UniqueStream();
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.Get()), _O_WRONLY | _O_BINARY);
    if (fd < 0) return UniqueStream();
    handle.Release();  // the descriptor owns it now
    std::FILE* stream = _fdopen(fd, "wb");
    if (!stream) _close(fd);
    return UniqueStream(stream);
#else
    // Readable too: build reads back, mapped, what the kernel copied into it.
    int fd = open(path.c_str(), O_CREAT | O_EXCL | O_RDWR, 0666);
    return UniqueStream(fd < 0 ? nullptr : fdopen(fd, "w+b"));
#endif
}

// ".NAME.saverpak-PID-N.tmp", with NAME shortened (at a character's start) so that the whole
// stays within the file-name limit of 255 bytes (UTF-16 units on Windows) whatever the output's
// name: an output whose own name is near the limit must still get its temporary file.
fs::path TempName(const fs::path& output, unsigned counter) {
    constexpr std::size_t kNameLimit = 255;
    std::string suffix =
        ".saverpak-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(counter) + ".tmp";
    fs::path::string_type base = output.filename().native();
    std::size_t cut = std::min(base.size(), kNameLimit - 1 - suffix.size());
    auto continues = [](auto unit) {
        if constexpr (sizeof unit == 1)
            return (static_cast<unsigned char>(unit) & 0xC0) == 0x80;
        else
            return unit >= 0xDC00 && unit <= 0xDFFF;  // the second half of a surrogate pair
    };
    while (cut > 0 && cut < base.size() && continues(base[cut])) --cut;
    base.resize(cut);
    fs::path name = ".";
    name += base;
    name += suffix;
    return output.parent_path() / name;
}

// Holds back the interrupting signals while a temporary file is made and recorded, so that
// none comes between the two.
class InterruptsHeld {
public:
#ifdef _WIN32
    InterruptsHeld() = default;
#else
    InterruptsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal);
        sigprocmask(SIG_BLOCK, &held, &FPrevious);
    }
    ~InterruptsHeld() { sigprocmask(SIG_SETMASK, &FPrevious, nullptr); }

private:
    sigset_t FPrevious;
#endif
};

// The file `output` names: symbolic links followed, as the system would follow them to open
// it, so that the file named is replaced and the link stays. A link may name a file that does
// not exist yet.
fs::path FollowLinks(const fs::path& output) {
    fs::path path = output;
    for (int hop = 0; hop < 40; ++hop) {  // the system's own limit on links in a row
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        fs::path target = fs::read_symlink(path, error);
        if (error)
            throw ToolError("cannot read the symbolic link " + PathText(path) + ": " +
                            error.message());
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    throw ToolError("the output " + PathText(output) + " is a loop of symbolic links");
}

const char* SpecialFileKind(fs::file_type type) {
    switch (type) {
        case fs::file_type::directory:
            return "a folder";
        case fs::file_type::fifo:
            return "a FIFO (named pipe)";
        case fs::file_type::character:
        case fs::file_type::block:
            return "a device";
        case fs::file_type::socket:
            return "a socket";
        default:
            return "a special file";
    }
}

// Throws unless `target` (what `output` names) is a regular file or nothing in a folder that
// exists.
void CheckOutputTarget(const fs::path& output, const fs::path& target) {
    const std::string named = "the output " + PathText(output);
#ifdef _WIN32
    // CON, NUL, COM1 and their kind are devices in every folder, with or without an extension.
    if (IsDeviceName(PathText(target.filename())))
        throw ToolError(named +
                        " is a device name; saverpak writes only regular files. Choose "
                        "another file name");
#endif
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    if (fs::exists(status)) {
        if (fs::is_regular_file(status)) return;
        throw ToolError(named + (target == output ? "" : " (" + PathText(target) + ")") + " is " +
                        SpecialFileKind(status.type()) +
                        ", not a regular file; saverpak replaces only regular files. Choose a "
                        "file name");
    }
    const fs::path folder = target.parent_path();
    const fs::file_status folderStatus = fs::status(folder, error);
    if (!fs::exists(folderStatus))
        throw ToolError("cannot write " + PathText(output) + ": the folder " + PathText(folder) +
                        " does not exist");
    if (!fs::is_directory(folderStatus))
        throw ToolError("cannot write " + PathText(output) + ": " + PathText(folder) +
                        " is not a folder");
}

// Gives the new file the mode of the file it replaces, and its owner and group where the
// system allows (only the superuser may give a file away; a member of the group may keep it).
void KeepOwnerAndMode([[maybe_unused]] std::FILE* stream, [[maybe_unused]] const fs::path& target) {
#ifndef _WIN32
    struct stat replaced {};
    if (stat(target.c_str(), &replaced) != 0) return;  // a new file: the umask decides
    const int fd = fileno(stream);
    if (fchown(fd, replaced.st_uid, replaced.st_gid) != 0) (void)!fchown(fd, -1, replaced.st_gid);
    // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
    (void)!fchmod(fd, replaced.st_mode & 07777);
#endif
}

#ifdef __linux__
bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
    while (count != 0) {
        const ssize_t n = write(fd, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}
#endif

ToolError SourceEnded(const std::string& sourceName) {
    return ToolError("cannot read " + sourceName + " (did it change during the build?)");
}

}  // namespace

OutputFile::OutputFile(const fs::path& output) : FOutput(output), FTarget(FollowLinks(output)) {
    CheckOutputTarget(FOutput, FTarget);
    [[maybe_unused]] InterruptsHeld held;  // nothing to hold on Windows
    for (int attempt = 0; attempt < 100 && !FStream; ++attempt) {
        FTemp = TempName(FTarget, gTempCounter++);
        FStream = CreateNew(FTemp);
        if (!FStream && errno != EEXIST) break;
    }
    if (!FStream)
        throw ToolError("cannot create a temporary file beside " + PathText(FOutput) + ": " +
                        std::strerror(errno));
    ArmInterruptCleanup(FTemp);
    KeepOwnerAndMode(FStream.Get(), FTarget);
}

OutputFile::~OutputFile() {
    if (FCommitted) return;
    FStream.Reset();  // closed before it is removed
    std::error_code ignored;
    fs::remove(FTemp, ignored);
    gTempArmed = false;
}

void OutputFile::Write(const void* bytes, std::size_t count) {
    if (count != 0 && std::fwrite(bytes, 1, count, FStream.Get()) != count)
        throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
    if (FTap) FTap(static_cast<const std::uint8_t*>(bytes), count);
}

void OutputFile::CopyFrom(std::FILE* source, std::uint64_t offset, std::uint64_t count,
                          const std::string& sourceName) {
#ifdef __linux__
    if (FTap) return CopyMapped(source, offset, count, sourceName);
    CopyInKernel(source, offset, count, sourceName);
#endif
    if (count == 0) return;
    constexpr std::size_t kChunk = 256 << 10;  // stays in the cache between read, tap and write
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(count, kChunk)));
    if (std::fseek(source, static_cast<long>(offset), SEEK_SET) != 0) throw SourceEnded(sourceName);
    while (count != 0) {
        std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(count, kChunk));
        if (std::fread(buffer.data(), 1, chunk, source) != chunk) throw SourceEnded(sourceName);
        Write(buffer.data(), chunk);
        count -= chunk;
    }
}

#ifdef __linux__
// Copies what it can of the `count` bytes at `offset` in the kernel, leaving `offset` and
// `count` at what is still to copy (all of it where the files cannot be copied between).
void OutputFile::CopyInKernel(std::FILE* source, std::uint64_t& offset, std::uint64_t& count,
                              const std::string& sourceName) {
    // Bytes written through the stream go first; then the kernel appends the copy.
    if (std::fflush(FStream.Get()) != 0)
        throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
    auto from = static_cast<off_t>(offset);
    while (count != 0) {
        ssize_t copied = copy_file_range(fileno(source), &from, fileno(FStream.Get()), nullptr,
                                         static_cast<std::size_t>(count), 0);
        if (copied < 0 &&
            (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
            break;  // no copy between these files: the buffer does it
        if (copied < 0)
            throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
        if (copied == 0) throw SourceEnded(sourceName);
        count -= static_cast<std::uint64_t>(copied);
    }
    // The stream's own idea of its position follows the file again.
    if (std::fseek(FStream.Get(), 0, SEEK_END) != 0)
        throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
    offset = static_cast<std::uint64_t>(from);
}

// With a tap, the bytes are read where they are, in the page cache, mapped a window at a time
// (so little of them is resident at once), and each piece is shown to the tap and written while
// it is in the processor's cache: the tap costs a pass over memory that is there anyway.
void OutputFile::CopyMapped(std::FILE* source, std::uint64_t offset, std::uint64_t count,
                            const std::string& sourceName) {
    constexpr std::uint64_t kWindow = 16 << 20;
    constexpr std::size_t kPiece = 256 << 10;
    struct stat status {};
    if (fstat(fileno(source), &status) != 0 ||
        static_cast<std::uint64_t>(status.st_size) < offset + count)
        throw SourceEnded(sourceName);
    // Bytes written through the stream go first; the pieces go to the file itself.
    if (std::fflush(FStream.Get()) != 0)
        throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
    const auto page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    while (count != 0) {
        const std::uint64_t base = offset / page * page, lead = offset - base;
        const std::uint64_t size = std::min(count, kWindow - lead);
        void* map = mmap(nullptr, lead + size, PROT_READ, MAP_PRIVATE | MAP_POPULATE,
                         fileno(source), static_cast<off_t>(base));
        if (map == MAP_FAILED) throw SourceEnded(sourceName);
        const auto* bytes = static_cast<const std::uint8_t*>(map) + lead;
        bool written = true;
        for (std::uint64_t done = 0; done < size && written; done += kPiece) {
            const auto piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, size - done));
            FTap(bytes + done, piece);
            written = WriteAll(fileno(FStream.Get()), bytes + done, piece);
        }
        munmap(map, lead + size);
        if (!written)
            throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
        offset += size;
        count -= size;
    }
    // The stream's own idea of its position follows the file again.
    if (std::fseek(FStream.Get(), 0, SEEK_END) != 0)
        throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
}
#endif

void OutputFile::CloseStream() {
    if (FStream && std::fclose(FStream.Release()) != 0)
        throw ToolError("cannot write " + PathText(FTemp) + ": " + std::strerror(errno));
}

void OutputFile::Commit() {
    CloseStream();
    CheckOutputTarget(FOutput, FTarget);  // it may have become something else meanwhile
    std::error_code error;
    fs::rename(FTemp, FTarget, error);
    if (error) throw ToolError("cannot write " + PathText(FOutput) + ": " + error.message());
    gTempArmed = false;
    FCommitted = true;
}

void RefuseSameFile(const fs::path& output, const fs::path& input, const char* what) {
    std::error_code error;
    if (fs::equivalent(output, input, error))
        throw ToolError("the output " + PathText(output) + " is the " + what + " " +
                        PathText(input) + "; choose another output file");
}
