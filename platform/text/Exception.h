// The one general error type of the system and the two families derived from it.
// Every failure travels as an Exception carrying a UTF-8 message; only the front
// ends catch at the top. Conversion and database errors are Exceptions too, so a
// handler for Exception catches them as the framework's handlers expect.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    const std::string& Message() const { return m_message; }

private:
    // runtime_error keeps a copy too; ours is returned by reference for callers
    // that compose longer texts from it.
    std::string m_message = what();
};

// A text that is not a number, or a number out of range for its target type.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Anything the database layer reports: connect, prepare, execute, fetch, commit.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};
