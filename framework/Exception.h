// The framework's exception: a message text and nothing else. The registry, the thread class
// and the windows raise it; what escapes a message handler ends in the application's exception
// box (MessageBoxes.h).
//
// It is a std::runtime_error, as every error the ss-classes and our own code above them raise
// is (the rule is in docs/ARCHITECTURE.md, "Errors"), so "is it ours" is one test: IsOurError.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace fw {

class Exception : public std::runtime_error {
public:
    explicit Exception(std::string message)
        : std::runtime_error(message), FMessage(std::move(message)) {}
    const std::string& Message() const { return FMessage; }

private:
    std::string FMessage;
};

// Whether an exception is one of ours, whose message is written for the user; anything else
// (a std::bad_alloc, a logic error) is reported with the caller's own fallback text.
inline bool IsOurError(const std::exception& error) {
    return dynamic_cast<const std::runtime_error*>(&error) != nullptr;
}

}  // namespace fw
