#pragma once
#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"

#include <cstdlib>
#include <string>

// A private temporary folder for one test, holding the registry file ($TAMSEL_CONFIG) and the
// program folder ($TAMSEL_HOME), removed with everything in it at the end; both variables
// are restored then.
class TempConfig {
public:
    TempConfig()
    {
        std::filesystem::create_directories(home());
        setenv("TAMSEL_CONFIG", registryFile().c_str(), 1);
        setenv("TAMSEL_HOME", home().c_str(), 1);
    }

    std::string folder() const { return m_folder.path(); }
    std::string registryFile() const { return m_folder.path("registry.reg"); }
    std::string home() const { return m_folder.path("home"); }

private:
    ScopedEnvironment m_environment{"TAMSEL_CONFIG", "TAMSEL_HOME"};
    TempFolder m_folder;
};
