// The tool's errors, by the one rule of docs/ARCHITECTURE.md ("The tool's errors"): a reader of
// one format throws FormatError with what is wrong, and the command that gave it the file throws
// ToolError, whose text names the file, from it; the command line prints that one line.
#pragma once

#include <stdexcept>
#include <string>

// What the user reads: shown as it is, so it names the file or manifest entry it is about.
class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

// Why bytes cannot be read as the format a reader of the tool's reads (a program image, its
// resources, an icon file), without the file's name: "its section table lies outside its
// headers". Only the caller knows which file that was and what it was for.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
