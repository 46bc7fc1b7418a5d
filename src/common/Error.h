// Failures of the program: every failure carries a message, and a failure that
// leaves an event handler is shown by the framework's default handler.
#pragma once

#include <stdexcept>
#include <string>

namespace velastrom {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace velastrom
