#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Reading the shared test vectors: binary files and the few fields of vector.json the
// tests need (string arrays, one per line, as the vectors are written).
namespace vectors {

inline std::filesystem::path root()
{
    return std::filesystem::path(TAMSEL_TEST_DATA) / "vectors";
}

inline std::vector<uint8_t> readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// The strings of the array `key` in a JSON text (escapes \\ and \" only).
inline std::vector<std::string> stringArray(const std::string& json, const std::string& key)
{
    std::vector<std::string> result;
    size_t at = json.find("\"" + key + "\": [");
    if (at == std::string::npos)
        return result;
    const size_t end = json.find(']', at);
    at = json.find('[', at) + 1;
    while (true) {
        size_t q = json.find('"', at);
        if (q == std::string::npos || q > end)
            break;
        std::string s;
        size_t k = q + 1;
        for (; json[k] != '"'; k++) {
            if (json[k] == '\\')
                k++;
            s += json[k];
        }
        result.push_back(s);
        at = k + 1;
    }
    return result;
}

inline std::string fromHex(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

/// The native path of an archive name (backslash-separated UTF-8) under `base`.
inline std::filesystem::path nativeName(const std::filesystem::path& base, const std::string& name)
{
    std::string s = name;
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return base / s;
}

inline const std::vector<std::string>& archiveVectors()
{
    static const std::vector<std::string> names = {"a1_only_allnod", "a2_empty_file", "a3_one_byte",
                                                   "t1_bookmarks",   "t2_net_text",   "t3_cross_window"};
    return names;
}

} // namespace vectors

namespace vectors {
/// Every number that follows `"key": ` in a JSON text, in order.
inline std::vector<long long> numbers(const std::string& json, const std::string& key)
{
    std::vector<long long> result;
    const std::string pattern = "\"" + key + "\": ";
    for (size_t at = json.find(pattern); at != std::string::npos; at = json.find(pattern, at + 1))
        result.push_back(std::stoll(json.substr(at + pattern.size())));
    return result;
}
} // namespace vectors
