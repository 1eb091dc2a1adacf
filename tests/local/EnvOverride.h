#pragma once
#include <cstdlib>
#include <string>
#include <vector>

// Sets environment variables for one test and puts the old values back afterwards.
class EnvOverride {
public:
    void set(const char* name, const std::string& value)
    {
        const char* old = getenv(name);
        m_saved.push_back({name, old ? old : "", old != nullptr});
        setenv(name, value.c_str(), 1);
    }
    ~EnvOverride()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->existed)
                setenv(it->name.c_str(), it->value.c_str(), 1);
            else
                unsetenv(it->name.c_str());
        }
    }

private:
    struct Saved {
        std::string name;
        std::string value;
        bool existed;
    };
    std::vector<Saved> m_saved;
};
