// LException: the one exception type of the support library.
#pragma once

#include <cstddef>
#include <exception>

namespace orvanta {

class LException : public std::exception {
public:
    // Room for the message, its terminating NUL included; longer messages are cut.
    static constexpr size_t kMessageSize = 300;

    // Formats the message with the C formatting rules and writes
    // "Exception Occurred : <message>\n" to the debugger output.
    explicit LException(const char* format, ...) __attribute__((format(printf, 2, 3)));
    LException(const LException& other) noexcept;
    LException& operator=(const LException& other) noexcept;

    const char* Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_message; }

private:
    char m_message[kMessageSize];
};

}  // namespace orvanta
