#pragma once
#include "platform/Exception.h"

#include <functional>
#include <string>

/// The message of the Exception `action` raises, or "(no error)".
inline std::string errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.message();
    }
    return "(no error)";
}
