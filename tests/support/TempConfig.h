#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

// A private temporary folder for one test, holding the registry file ($TAMSEL_CONFIG) and the
// program folder ($TAMSEL_HOME), removed with everything in it at the end.
class TempConfig {
public:
    TempConfig()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tamsel-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_folder = pattern;
        std::filesystem::create_directories(m_folder / "home");
        setenv("TAMSEL_CONFIG", registryFile().c_str(), 1);
        setenv("TAMSEL_HOME", home().c_str(), 1);
    }
    ~TempConfig()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    TempConfig(const TempConfig&) = delete;
    TempConfig& operator=(const TempConfig&) = delete;

    std::filesystem::path folder() const { return m_folder; }
    std::string registryFile() const { return (m_folder / "registry.reg").string(); }
    std::string home() const { return (m_folder / "home").string(); }

private:
    std::filesystem::path m_folder;
};
