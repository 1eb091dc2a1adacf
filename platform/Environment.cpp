#include "platform/Environment.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

std::string EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string HomeFolder()
{
    std::string home = EnvironmentValue("HOME");
    if (home.empty())
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
            home = pw->pw_dir;
    return home;
}

std::string XdgFolder(const char* variable, const char* fallback)
{
    const std::string value = EnvironmentValue(variable);
    if (!value.empty() && value[0] == '/')  // relative values are to be ignored
        return value;
    return HomeFolder() + "/" + fallback;
}
