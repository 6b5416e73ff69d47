#pragma once

#include <stdexcept>
#include <string>

// The program's general exception. Its message is shown to the user as it stands,
// so every throw site passes the exact text the user is meant to read.
class LarkspanError : public std::runtime_error {
public:
    explicit LarkspanError(const std::string& message) : std::runtime_error(message) {}
};

// A value outside the range that a field or an argument can hold.
class ERangeError : public LarkspanError {
public:
    ERangeError() : LarkspanError("Range check error") {}
};
