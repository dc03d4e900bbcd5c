#pragma once
// Root of the framework's value classes: an object with a class name and a text form.

#include <string>

namespace nbx {

class CObject {
public:
    virtual ~CObject() = default;
    // Run-time class name of the object.
    virtual std::string className() const;
    // Sets the object from its text form; throws on a text it cannot take.
    virtual bool string(const std::string& text) = 0;
    // The object as text.
    virtual std::string string() const = 0;
    // Same as string(text), for callers that hold a C string.
    virtual bool setString(const char* text) { return string(std::string(text ? text : "")); }
    // Fills the caller's string through string().
    virtual void getString(std::string& out) const { out = string(); }
};

}  // namespace nbx
