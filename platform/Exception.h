#pragma once
#include <stdexcept>
#include <string>

// The program's one exception class: it carries only a message text (UTF-8), which the
// window that catches it shows in an error box. Callers that add context put a first line
// in front and raise again. Never thrown across threads: workers keep the text instead.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
};

// Raises Exception with a string-table text (by number).
[[noreturn]] void RaiseStr(int number);
