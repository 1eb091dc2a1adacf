#include "platform/Environment.h"

#include <cstdlib>
#include <fstream>
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

std::string XdgUserFolder(const std::string& name)
{
    const std::string home = HomeFolder();
    std::ifstream in(XdgFolder("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
    const std::string key = "XDG_" + name + "_DIR=";
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) != 0)
            continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        if (!value.empty() && value[0] == '/')
            return value;
    }
    return name == "DESKTOP" ? home + "/Desktop" : home;
}
