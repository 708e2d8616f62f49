#include "support/exception.h"

#include "platform/debug_output.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace orvanta {

LException::LException(const char* format, ...) : m_message{} {
    va_list args;
    va_start(args, format);
    std::vsnprintf(m_message, kMessageSize, format, args);
    va_end(args);
    platform::DebugOutput(std::string("Exception Occurred : ") + m_message + "\n");
}

LException::LException(const LException& other) noexcept : std::exception(other), m_message{} {
    std::memcpy(m_message, other.m_message, kMessageSize);
}

LException& LException::operator=(const LException& other) noexcept {
    std::memcpy(m_message, other.m_message, kMessageSize);
    return *this;
}

}  // namespace orvanta
