// An output that appears whole or not at all: it is written to a new temporary file in the
// output's own folder (so the final rename stays on one volume) and renamed over the output
// only when complete. A temporary file that is not committed is removed, also when the tool is
// interrupted (SIGINT, SIGTERM, SIGHUP; a console Ctrl-C or close on Windows).
//
// It replaces nothing but a regular file: an output that names a FIFO, a device, a folder or
// any other special file is refused before anything is written (and again just before the
// rename, in case it changed meanwhile). A symbolic link is followed: the file it names is what
// gets replaced, and the link stays. A replaced file keeps its permission bits, and its owner
// and group where the system allows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "support/Handles.h"

class OutputFile {
public:
    // Throws ToolError, before creating anything, when `output` may not be written (above).
    explicit OutputFile(const std::filesystem::path& output);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::filesystem::path& TempPath() const { return FTemp; }
    // The open temporary file, for writers that stream into it.
    std::FILE* Stream() const { return FStream.Get(); }
    void Write(const void* bytes, std::size_t count);
    // From now on every byte written is shown to `tap` too, in order (build sums the image
    // checksum so, as it writes).
    void SetTap(std::function<void(const std::uint8_t* bytes, std::size_t count)> tap) {
        FTap = std::move(tap);
    }
    // Appends `count` bytes of `source` from `offset`, in the kernel where the system can copy
    // between files (Linux), else through a buffer. Throws
    // ToolError naming `sourceName` when the source ends early.
    void CopyFrom(std::FILE* source, std::uint64_t offset, std::uint64_t count,
                  const std::string& sourceName);
    // Closes the stream; for writers that reopen the temporary file by its name.
    void CloseStream();
    // Closes and renames over the output; throws ToolError when either fails.
    void Commit();

private:
#ifdef __linux__
    void CopyInKernel(std::FILE* source, std::uint64_t& offset, std::uint64_t& count,
                      const std::string& sourceName);
    void CopyMapped(std::FILE* source, std::uint64_t offset, std::uint64_t count,
                    const std::string& sourceName);
#endif

    std::filesystem::path FOutput;  // as given, for messages
    std::filesystem::path FTarget;  // the file it names, symbolic links followed
    std::filesystem::path FTemp;
    UniqueStream FStream;
    std::function<void(const std::uint8_t* bytes, std::size_t count)> FTap;
    bool FCommitted = false;
};

// Throws ToolError when `output` is the same file as `input` (by identity, so a second name or a
// link for the same file is caught too). `what` names the input in the message.
void RefuseSameFile(const std::filesystem::path& output, const std::filesystem::path& input,
                    const char* what);
