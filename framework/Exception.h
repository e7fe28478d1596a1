// The framework's exception: a message text and nothing else. The registry, the thread class
// and the windows raise it; what escapes a message handler ends in the application's exception
// box (MessageBoxes.h).
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace fw {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const { return FMessage; }

private:
    std::string FMessage;
};

}  // namespace fw
