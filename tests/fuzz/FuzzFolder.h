#pragma once
#include "platform/DriveMap.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

// One private folder per fuzz process, in memory when /dev/shm exists, addressed both
// natively and as the program addresses folders.
class FuzzFolder {
public:
    static FuzzFolder& get()
    {
        // Never destroyed: the exit handler that removes the folder still needs it.
        static FuzzFolder* folder = new FuzzFolder;
        return *folder;
    }
    std::string native(const std::string& name = "") const { return m_native + name; }
    std::string win(const std::string& name = "") const { return m_win + name; }
    void write(const std::string& name, const uint8_t* data, size_t size) const
    {
        std::ofstream(native(name), std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    void clear(const std::string& name) const
    {
        std::error_code ignored;
        std::filesystem::remove_all(native(name), ignored);
    }

private:
    FuzzFolder()
    {
        const std::string root = std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
        m_native = root + "/tamsel-fuzz-" + std::to_string(getpid()) + "/";
        std::filesystem::create_directories(m_native);
        m_win = WindowsPath(m_native.substr(0, m_native.size() - 1)) + "\\";
        std::atexit([] { FuzzFolder::get().clear(""); });
    }
    std::string m_native, m_win;
};
