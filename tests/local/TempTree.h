#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

// A temporary folder for one test, with helpers to make and read files; removed at the end.
class TempTree {
public:
    explicit TempTree(const std::string& base = "/tmp")
    {
        std::string pattern = base + "/tamsel-test-XXXXXX";
        m_root = mkdtemp(pattern.data());
    }
    ~TempTree()
    {
        std::error_code ec;
        std::filesystem::permissions(m_root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_root, ec);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    bool valid() const { return !m_root.empty() && m_root[0] == '/'; }
    const std::string& root() const { return m_root; }
    std::string path(const std::string& relative) const { return m_root + "/" + relative; }

    void write(const std::string& relative, const std::string& content) const
    {
        const std::filesystem::path p = path(relative);
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
    }
    void mkdir(const std::string& relative) const { std::filesystem::create_directories(path(relative)); }
    std::string read(const std::string& relative) const
    {
        std::ifstream in(path(relative), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool exists(const std::string& relative) const
    {
        std::error_code ec;
        return std::filesystem::exists(std::filesystem::symlink_status(path(relative), ec));
    }
    /// Every entry below `relative`, as relative paths, folders with a trailing "/".
    std::set<std::string> listing(const std::string& relative = "") const
    {
        std::set<std::string> names;
        const std::filesystem::path base = relative.empty() ? m_root : path(relative);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(base)) {
            std::string name = std::filesystem::relative(entry.path(), base).string();
            if (entry.is_directory())
                name += "/";
            names.insert(name);
        }
        return names;
    }

private:
    std::string m_root;
};
