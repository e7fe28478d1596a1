// The one error type of the tool's own checks. Its text is shown as it is, so it names the file
// or manifest entry it is about.
#pragma once

#include <stdexcept>
#include <string>

class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};
