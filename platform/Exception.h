#pragma once
// The error type every stand-in of the platform raises: a message text, as the
// original runtime's exceptions carried one. It is exported from the shared platform
// library so that a host can catch it from any plug-in.

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    ~Exception() override;
    std::string Message() const { return what(); }
};

// A Variant could not be read as the type asked for, or an array index was out of bounds.
class VariantError : public Exception {
public:
    using Exception::Exception;
    ~VariantError() override;
};

// A late-bound call named a member the object does not have, or a class is unknown.
class AutomationError : public Exception {
public:
    using Exception::Exception;
    ~AutomationError() override;
};
