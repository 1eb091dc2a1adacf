#pragma once
#include "platform/RegistryFile.h"

#include <ctime>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

// The in-memory copy of one registry file, shared by every Registry session of the process
// that uses that file. Internal to the registry: callers use Registry.

struct RegKey {
    std::string path;              // below HKEY_CURRENT_USER, no leading or trailing '\', "" = root
    std::vector<RegValue> values;  // in the order they were written
    bool readOnly = false;         // answered from the system, never written to the file
};

class RegistryStore {
public:
    /// The store of the file at `path`, loaded on first use and kept for the process.
    static RegistryStore& forPath(const std::string& path);

    /// Every member below expects mutex() to be held.
    std::mutex& mutex() { return m_mutex; }

    /// Loads the file again when another writer replaced it and nothing is pending here.
    void reloadIfChanged();

    RegKey* findKey(const std::string& path);
    /// Creates the key and its missing parents; the caller has checked writability.
    RegKey* createKey(const std::string& path);
    bool deleteKey(const std::string& path);
    std::vector<std::string> subKeyNames(const std::string& path) const;

    /// True when changes can be saved: not blocked by an unreadable or damaged file that
    /// could not be moved aside, and the folder accepts a new file (tried, not guessed).
    bool ensureWritable(std::string* error);
    void markDirty() { m_dirty = true; }
    /// Writes the file when something changed: temporary file, fsync, rename, mode 0600.
    bool flush(std::string* error);

    /// What went wrong while loading (a damaged file moved aside), empty otherwise.
    const std::string& loadError() const { return m_loadError; }

    /// The export text of `keys`, and the reverse. parse() fails with a line number and
    /// reason in *error and leaves `keys` unspecified.
    static std::string format(const std::vector<RegKey>& keys);
    static bool parse(const std::string& text, std::vector<RegKey>& keys, std::string* error);

    /// ASCII lower-case form used to compare key paths and value names.
    static std::string foldCase(const std::string& text);

private:
    explicit RegistryStore(std::string path);
    void load();
    void rebuildIndex();
    void rememberIdentity();
    /// Removes the temporary and probe files of saves whose process died.
    void removeStaleTemporaries();
    static bool endsInLineBreak(const std::string& text, std::string* why);

    RegKey m_shellFolders;  // the desktop's folders, read anew at each look-up
    std::mutex m_mutex;
    std::string m_path;
    std::vector<RegKey> m_keys;
    std::unordered_map<std::string, size_t> m_index;  // folded path -> m_keys index
    bool m_dirty = false;
    bool m_blocked = false;  // never write: the file on disk could not be read or set aside
    bool m_writableChecked = false;  // a probe succeeded since the last write of the file
    std::string m_loadError;
    // Identity of the file as last read or written, to notice another writer.
    bool m_exists = false;
    ino_t m_inode = 0;
    off_t m_size = 0;
    timespec m_mtime{};
};
