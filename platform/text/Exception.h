// The one general error type of the system and the two families derived from it.
// Every failure travels as an Exception carrying a UTF-8 message; only the front
// ends catch at the top. Conversion and database errors are Exceptions too, so a
// handler for Exception catches them as the framework's handlers expect.
// An Exception may also carry where the failure is (ErrorPlace): the layers
// that wrap it on its way out hand the place on to the new one.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Where a failure is, for the user: the names of the objects it happened in,
// from the outside inwards ("Сборник нормативов: 1", "Норматив: 01-01-001"),
// and its place in the source document.
struct ErrorPlace {
    std::vector<std::string> path;
    // 1-based line of the source document; 0 while unknown.
    int line = 0;
    // Byte offset in the source text where the failing object's element
    // starts; -1 when unknown. Whoever holds the text turns it into `line`.
    int64_t offset = -1;
    // The innermost message, before any layer added its header to it.
    std::string cause;
};

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    const std::string& Message() const { return m_message; }

    // The place, or null when nothing said where the failure is.
    const ErrorPlace* Place() const { return m_place.get(); }
    void SetPlace(ErrorPlace place) {
        m_place = std::make_shared<const ErrorPlace>(std::move(place));
    }
    // Takes the place of `inner` over (nothing when it has none): for a layer
    // that wraps `inner` into a new Exception.
    void KeepPlaceOf(const Exception& inner) { m_place = inner.m_place; }

private:
    // runtime_error keeps a copy too; ours is returned by reference for callers
    // that compose longer texts from it.
    std::string m_message = what();
    // Shared: an Exception is copied as it is thrown, the place is not.
    std::shared_ptr<const ErrorPlace> m_place;
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
