#include "platform/RegistryStore.h"

#include "platform/AtomicFile.h"
#include "platform/DriveMap.h"
#include "platform/Environment.h"
#include "platform/TextCodec.h"
#include "resources/StringTable.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <algorithm>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* Header = "Windows Registry Editor Version 5.00";
constexpr const char* Hive = "HKEY_CURRENT_USER";
constexpr size_t HexBytesPerLine = 24;

std::string ErrnoText(int err)
{
    return std::strerror(err);
}

std::string ParentFolder(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p with private folders, as the file holds passwords.
bool MakeFolders(const std::string& folder, int* err)
{
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        *err = ENOTDIR;
        return false;
    }
    const std::string parent = ParentFolder(folder);
    if (parent != folder && !MakeFolders(parent, err))
        return false;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *err = errno;
        return false;
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string* data, int* err)
{
    // Without blocking, and only a regular file: a FIFO would hang the start, a device
    // would be read for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *err = errno;
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *err = errno;
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        data->append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

bool WriteAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string QuoteString(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

void AppendHex(std::string& out, const std::string& prefix, const std::vector<uint8_t>& bytes)
{
    static constexpr char Digits[] = "0123456789abcdef";
    out += prefix;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            out.push_back(',');
            if (i % HexBytesPerLine == 0)
                out += "\\\n  ";
        }
        out.push_back(Digits[bytes[i] >> 4]);
        out.push_back(Digits[bytes[i] & 0xF]);
    }
}

// A text that a quoted string cannot carry on one line (line breaks, NUL) is written as
// hex(1): UTF-16LE with its terminating NUL, the export format's form of such a REG_SZ.
bool NeedsHexString(const std::string& text)
{
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::vector<uint8_t> Utf16Bytes(const std::string& utf8)
{
    std::vector<uint8_t> out;
    auto put = [&out](char32_t unit) {
        out.push_back(static_cast<uint8_t>(unit));
        out.push_back(static_cast<uint8_t>(unit >> 8));
    };
    for (size_t pos = 0; pos < utf8.size();) {
        char32_t cp = NextUtf8(utf8, pos);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    put(0);
    return out;
}

// UTF-16LE to UTF-8, up to the first NUL; unpaired surrogates become U+FFFD.
std::string Utf8FromUtf16(const uint8_t* data, size_t size)
{
    std::string out;
    for (size_t i = 0; i + 1 < size; i += 2) {
        char32_t unit = data[i] | data[i + 1] << 8;
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < size) {
            const char32_t low = data[i + 2] | data[i + 3] << 8;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF)
            unit = 0xFFFD;
        AppendUtf8(out, unit);
    }
    return out;
}

// Reads a quoted string at text[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(const std::string& text, size_t& pos, std::string* out)
{
    ++pos;
    out->clear();
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c == '"')
            return true;
        if (c == '\\' && pos < text.size() && (text[pos] == '\\' || text[pos] == '"'))
            out->push_back(text[pos++]);
        else
            out->push_back(c);
    }
    return false;
}

// "80,00,0a": one or two hex digits per byte, commas between, blanks allowed.
bool ParseHexList(const std::string& text, std::vector<uint8_t>* out)
{
    out->clear();
    if (text.find_first_not_of(" \t") == std::string::npos)
        return true;
    size_t pos = 0;
    while (true) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;
        int value = 0;
        int digits = 0;
        for (int d; pos < text.size() && (d = HexDigitValue(text[pos])) >= 0; ++pos, ++digits)
            value = value * 16 + d;
        if (digits < 1 || digits > 2)
            return false;
        out->push_back(static_cast<uint8_t>(value));
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;
        if (pos == text.size())
            return true;
        if (text[pos++] != ',')
            return false;
    }
}

bool ParseData(const std::string& data, RegValue* value, std::string* why)
{
    if (!data.empty() && data[0] == '"') {
        size_t pos = 0;
        if (!ReadQuoted(data, pos, &value->text) || pos != data.size()) {
            *why = UiCaption("字串沒有正確結束");
            return false;
        }
        value->type = RegType::String;
        return true;
    }
    if (data.rfind("dword:", 0) == 0) {
        const std::string digits = data.substr(6);
        if (digits.empty() || digits.size() > 8
            || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            *why = UiCaption("dword 值不正確");
            return false;
        }
        value->type = RegType::DWord;
        value->dword = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
        return true;
    }
    const size_t colon = data.find(':');
    const std::string kind = data.substr(0, colon);
    std::vector<uint8_t> bytes;
    if (colon == std::string::npos || !ParseHexList(data.substr(colon + 1), &bytes)) {
        *why = UiCaption("無法辨認的值");
        return false;
    }
    if (kind == "hex" || kind == "hex(3)") {
        value->type = RegType::Binary;
        value->binary = std::move(bytes);
        return true;
    }
    if (kind == "hex(1)") {
        value->type = RegType::String;
        value->text = Utf8FromUtf16(bytes.data(), bytes.size());
        return true;
    }
    if (kind == "hex(4)" && bytes.size() == 4) {
        value->type = RegType::DWord;
        value->dword = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24;
        return true;
    }
    *why = UiFormat("不支援的值類型 %1", {kind});
    return false;
}

// Files exported by the system are UTF-16LE with a byte order mark; ours are UTF-8.
std::string TextOfFile(const std::string& raw)
{
    if (raw.size() >= 2 && static_cast<uint8_t>(raw[0]) == 0xFF && static_cast<uint8_t>(raw[1]) == 0xFE)
        return Utf8FromUtf16(reinterpret_cast<const uint8_t*>(raw.data()) + 2, raw.size() - 2);
    if (raw.rfind("\xEF\xBB\xBF", 0) == 0)
        return raw.substr(3);
    return raw;
}

std::string TimeStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &local);
    return buffer;
}

}  // namespace

std::string RegistryStore::foldCase(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

RegistryStore& RegistryStore::forPath(const std::string& path)
{
    // Kept for the life of the process: sessions in static objects may still flush at exit.
    static std::mutex mapMutex;
    static auto* stores = new std::unordered_map<std::string, std::unique_ptr<RegistryStore>>();
    std::lock_guard<std::mutex> lock(mapMutex);
    std::unique_ptr<RegistryStore>& store = (*stores)[path];
    if (!store) {
        store.reset(new RegistryStore(path));
        std::lock_guard<std::mutex> storeLock(store->m_mutex);
        store->load();
    }
    return *store;
}

RegistryStore::RegistryStore(std::string path) : m_path(std::move(path)) {}

void RegistryStore::rebuildIndex()
{
    m_index.clear();
    for (size_t i = 0; i < m_keys.size(); ++i)
        m_index[foldCase(m_keys[i].path)] = i;
}

void RegistryStore::rememberIdentity()
{
    struct stat st {};
    m_exists = stat(m_path.c_str(), &st) == 0;
    m_inode = m_exists ? st.st_ino : 0;
    m_size = m_exists ? st.st_size : 0;
    m_mtime = m_exists ? st.st_mtim : timespec{};
}

void RegistryStore::load()
{
    m_keys.clear();
    m_dirty = false;
    m_writableChecked = false;
    m_blocked = false;
    m_loadError.clear();
    rememberIdentity();
    removeStaleTemporaries();
    std::string raw;
    int err = 0;
    if (!ReadWholeFile(m_path, &raw, &err)) {
        if (err != ENOENT) {
            m_blocked = true;
            const std::string why = err == EINVAL ? UiCaption("不是一般檔案") : ErrnoText(err);
            m_loadError = UiFormat("無法讀取設定檔 %1：%2。為免覆蓋，設定不會儲存。", {m_path, why});
            std::fprintf(stderr, "tamsel: %s\n", m_loadError.c_str());
        }
        rebuildIndex();
        return;
    }
    std::string why;
    const std::string text = TextOfFile(raw);
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        m_loadError = UiFormat("設定檔 %1 是空的，改用預設設定。", {m_path});
        std::fprintf(stderr, "tamsel: %s\n", m_loadError.c_str());
        rebuildIndex();
        return;
    }
    if (parse(text, m_keys, &why) && endsInLineBreak(text, &why)) {
        rebuildIndex();
        return;
    }
    // Keep the damaged file for the user, under a name that says what it is, and start
    // from an empty store; never write over it.
    m_keys.clear();
    rebuildIndex();
    std::string aside = m_path + ".damaged-" + TimeStamp();
    for (int n = 2; access(aside.c_str(), F_OK) == 0; ++n)
        aside = m_path + ".damaged-" + TimeStamp() + "-" + std::to_string(n);
    const int renamed = std::rename(m_path.c_str(), aside.c_str());
    const int renameErr = errno;
    if (renamed == 0) {
        m_loadError = UiFormat("設定檔 %1 已損壞（%2），已改名為 %3 保留，改用預設設定。", {m_path, why, aside});
        rememberIdentity();
    } else {
        m_blocked = true;
        m_loadError = UiFormat("設定檔 %1 已損壞（%2），也無法移開（%3）。為免覆蓋，設定不會儲存。", {m_path, why, ErrnoText(renameErr)});
    }
    std::fprintf(stderr, "tamsel: %s\n", m_loadError.c_str());
}

// Every line the store writes ends in a line break, and so does every file the system
// exports: text after the last one is a value cut short ("dword:000", "hex:80,00,0"),
// however well it parses.
bool RegistryStore::endsInLineBreak(const std::string& text, std::string* why)
{
    const size_t last = text.find_last_not_of(" \t");
    if (last == std::string::npos || text[last] == '\n')
        return true;
    const size_t lines = size_t(std::count(text.begin(), text.end(), '\n')) + 1;
    *why = UiFormat("第 %1 行：檔案在值的中間結束", {std::to_string(lines)});
    return false;
}

void RegistryStore::removeStaleTemporaries()
{
    const std::string folder = ParentFolder(m_path);
    const size_t slash = m_path.rfind('/');
    const std::string name = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* d = readdir(dir)) {
        const std::string entry = d->d_name;
        for (const std::string& prefix : {name + ".tmp-", name + ".probe-"})
            if (entry.size() > prefix.size() && entry.compare(0, prefix.size(), prefix) == 0
                && IsStaleTemporarySuffix(entry.substr(prefix.size())))
                unlinkat(dirfd(dir), d->d_name, 0);
    }
    closedir(dir);
}

void RegistryStore::reloadIfChanged()
{
    if (m_dirty)
        return;
    struct stat st {};
    const bool exists = stat(m_path.c_str(), &st) == 0;
    if (exists == m_exists
        && (!exists
            || (st.st_ino == m_inode && st.st_size == m_size && st.st_mtim.tv_sec == m_mtime.tv_sec
                && st.st_mtim.tv_nsec == m_mtime.tv_nsec)))
        return;
    load();
}

RegKey* RegistryStore::findKey(const std::string& path)
{
    // The shell's folder locations are the user's XDG folders, as Windows-style paths.
    static const std::string shellFolders = "software\\microsoft\\windows\\currentversion\\explorer\\shell folders";
    if (foldCase(path) == shellFolders) {
        m_shellFolders.path = path;
        m_shellFolders.readOnly = true;
        m_shellFolders.values.clear();
        for (auto [name, xdg] : {std::pair{"Desktop", "DESKTOP"}, std::pair{"Personal", "DOCUMENTS"}}) {
            const std::string folder = WindowsPath(XdgUserFolder(xdg));
            if (!folder.empty())
                m_shellFolders.values.push_back(RegValue{name, RegType::String, folder, 0, {}});
        }
        return &m_shellFolders;
    }
    if (path.empty() && m_index.find("") == m_index.end()) {
        m_keys.push_back(RegKey{});  // the hive itself always exists
        rebuildIndex();
    }
    const auto it = m_index.find(foldCase(path));
    return it == m_index.end() ? nullptr : &m_keys[it->second];
}

RegKey* RegistryStore::createKey(const std::string& path)
{
    if (RegKey* key = findKey(path))
        return key;
    const size_t slash = path.rfind('\\');
    if (slash != std::string::npos)
        createKey(path.substr(0, slash));
    m_keys.push_back(RegKey{path, {}});
    m_index[foldCase(path)] = m_keys.size() - 1;
    m_dirty = true;
    return &m_keys.back();
}

bool RegistryStore::deleteKey(const std::string& path)
{
    if (path.empty() || !findKey(path))
        return false;
    const std::string folded = foldCase(path);
    std::erase_if(m_keys, [&](const RegKey& key) {
        const std::string k = foldCase(key.path);
        return k == folded || k.rfind(folded + "\\", 0) == 0;
    });
    rebuildIndex();
    m_dirty = true;
    return true;
}

std::vector<std::string> RegistryStore::subKeyNames(const std::string& path) const
{
    const std::string prefix = path.empty() ? std::string() : foldCase(path) + "\\";
    std::vector<std::string> names;
    for (const RegKey& key : m_keys) {
        if (key.path.empty())
            continue;
        const std::string folded = foldCase(key.path);
        if (folded.rfind(prefix, 0) == 0 && folded.find('\\', prefix.size()) == std::string::npos)
            names.push_back(key.path.substr(prefix.size()));
    }
    return names;
}

bool RegistryStore::ensureWritable(std::string* error)
{
    if (m_blocked) {
        *error = m_loadError;
        return false;
    }
    if (m_writableChecked)
        return true;
    int err = 0;
    const std::string folder = ParentFolder(m_path);
    if (!MakeFolders(folder, &err)) {
        *error = UiFormat("無法建立設定檔的資料夾 %1：%2", {folder, ErrnoText(err)});
        return false;
    }
    // Try, rather than ask access(): a root process passes every permission check but
    // still cannot write a read-only file system.
    const std::string probe = m_path + ".probe-" + std::to_string(getpid());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = UiFormat("無法寫入設定檔 %1：%2", {m_path, ErrnoText(errno)});
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    m_writableChecked = true;
    return true;
}

bool RegistryStore::flush(std::string* error)
{
    if (!m_dirty)
        return true;
    if (!ensureWritable(error))
        return false;
    const std::string temp = m_path + ".tmp-" + std::to_string(getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = UiFormat("無法寫入設定檔 %1：%2", {m_path, ErrnoText(errno)});
        return false;
    }
    fchmod(fd, 0600);  // an old temporary file may have had another mode
    const bool written = WriteAll(fd, format(m_keys)) && fsync(fd) == 0;
    const int writeErr = errno;
    ::close(fd);
    if (!written || std::rename(temp.c_str(), m_path.c_str()) != 0) {
        const int err = written ? errno : writeErr;
        ::unlink(temp.c_str());
        *error = UiFormat("無法寫入設定檔 %1：%2", {m_path, ErrnoText(err)});
        return false;
    }
    // Make the rename itself durable.
    const int dirFd = ::open(ParentFolder(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        ::close(dirFd);
    }
    m_dirty = false;
    m_writableChecked = false;
    rememberIdentity();
    return true;
}

std::string RegistryStore::format(const std::vector<RegKey>& keys)
{
    std::string out = std::string(Header) + "\n";
    for (const RegKey& key : keys) {
        out += "\n[" + std::string(Hive) + (key.path.empty() ? "" : "\\" + key.path) + "]\n";
        for (const RegValue& v : key.values) {
            out += v.name.empty() ? "@" : QuoteString(v.name);
            out += "=";
            switch (v.type) {
            case RegType::String:
                if (NeedsHexString(v.text))
                    AppendHex(out, "hex(1):", Utf16Bytes(v.text));
                else
                    out += QuoteString(v.text);
                break;
            case RegType::DWord: {
                char digits[16];
                std::snprintf(digits, sizeof digits, "dword:%08x", v.dword);
                out += digits;
                break;
            }
            case RegType::Binary:
                AppendHex(out, "hex:", v.binary);
                break;
            }
            out += "\n";
        }
    }
    return out;
}

bool RegistryStore::parse(const std::string& text, std::vector<RegKey>& keys, std::string* error)
{
    keys.clear();
    std::unordered_map<std::string, size_t> index;
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    bool headerSeen = false;
    RegKey* current = nullptr;
    auto fail = [&](const std::string& why) {
        *error = UiFormat("第 %1 行：%2", {std::to_string(lineNumber), why});
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // A value may go on over several lines, each but the last ending in a backslash.
        while (line.size() >= 2 && line.back() == '\\'
               && (line[line.size() - 2] == ',' || line[line.size() - 2] == ':')) {
            std::string next;
            if (!std::getline(in, next))
                return fail(UiCaption("值在檔案結尾中斷"));
            ++lineNumber;
            if (!next.empty() && next.back() == '\r')
                next.pop_back();
            line.pop_back();
            line += next.substr(std::min(next.find_first_not_of(" \t"), next.size()));
        }
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == ';')
            continue;
        line = line.substr(first);
        if (!headerSeen) {
            if (line != Header)
                return fail(UiFormat("缺少檔頭 \"%1\"", {std::string(Header)}));
            headerSeen = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']')
                return fail(UiCaption("機碼名稱沒有正確結束"));
            std::string path = line.substr(1, line.size() - 2);
            if (path.rfind(Hive, 0) != 0 || (path.size() > std::strlen(Hive) && path[std::strlen(Hive)] != '\\'))
                return fail(UiFormat("只能有 %1 之下的機碼", {std::string(Hive)}));
            path = path.substr(std::min(path.size(), std::strlen(Hive) + 1));
            if (!path.empty() && (path.front() == '\\' || path.back() == '\\' || path.find("\\\\") != std::string::npos))
                return fail(UiCaption("機碼名稱不正確"));
            const std::string folded = foldCase(path);
            auto it = index.find(folded);
            if (it == index.end()) {
                keys.push_back(RegKey{path, {}});
                it = index.emplace(folded, keys.size() - 1).first;
            }
            current = &keys[it->second];
            continue;
        }
        if (!current)
            return fail(UiCaption("值不在任何機碼之下"));
        RegValue value;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] != '"' || !ReadQuoted(line, pos, &value.name)) {
            return fail(UiCaption("值名稱不正確"));
        }
        if (pos >= line.size() || line[pos] != '=')
            return fail(UiCaption("值名稱之後缺少 \"=\""));
        std::string why;
        if (!ParseData(line.substr(pos + 1), &value, &why))
            return fail(why);
        const std::string folded = foldCase(value.name);
        auto same = std::find_if(current->values.begin(), current->values.end(),
                                 [&](const RegValue& v) { return foldCase(v.name) == folded; });
        if (same != current->values.end())
            *same = std::move(value);
        else
            current->values.push_back(std::move(value));
    }
    // A file of nothing but blanks holds no keys: nothing in it can be lost.
    if (!headerSeen && text.find_first_not_of(" \t\r\n") != std::string::npos)
        return fail(UiFormat("缺少檔頭 \"%1\"", {std::string(Header)}));
    return true;
}
