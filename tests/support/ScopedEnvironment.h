#pragma once
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Restores the named environment variables when it goes out of scope, so that a test
// may change them freely.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::initializer_list<const char*> names)
    {
        for (const char* name : names) {
            const char* value = std::getenv(name);
            m_saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
        }
    }
    ~ScopedEnvironment()
    {
        for (const auto& [name, value] : m_saved)
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};
