#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A typed key store with the registry's semantics, persisted for HKEY_CURRENT_USER as one
// text file in the registry's own export format, at $TAMSEL_CONFIG or
// $XDG_CONFIG_HOME/tamsel/registry.reg. Key paths use backslashes and compare without
// regard to ASCII case ("Software\\Brightmoor\\Morvane\\Tamsel"), as do value names;
// value order is kept.
//
// The file: "Windows Registry Editor Version 5.00", then one "[HKEY_CURRENT_USER\...]"
// section per key, values as "Name"="text" (\\ and \" escaped), "Name"=dword:0000000c and
// "Name"=hex:80,00,00,00; "@" is the unnamed value. The file is UTF-8 (our choice: the
// system writes UTF-16, which is read too), so non-ASCII texts stand in it as they are; a
// text holding a line break or NUL is written as hex(1): (UTF-16LE), which reads back as
// REG_SZ. The file is read once per process and again only when another writer replaced it
// while nothing was pending here. A file that cannot be parsed is renamed to
// "<name>.damaged-<yyyymmdd-hhmmss>" with a message on standard error and in lastError();
// one that can be neither read nor moved aside is never written over.
//
// The read-only key "Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
// answers "Desktop" and "Personal" from the XDG user folders (Windows-style paths); it is
// not stored, and writes to it throw.

enum class RegType { String = 1 /* REG_SZ */, Binary = 3 /* REG_BINARY */, DWord = 4 /* REG_DWORD */ };

struct RegValue {
    std::string name;
    RegType type = RegType::String;
    std::string text;                // REG_SZ, UTF-8
    uint32_t dword = 0;              // REG_DWORD
    std::vector<uint8_t> binary;     // REG_BINARY
};

class RegistryStore;

/// An open session on the store, in the manner of the runtime's registry class: open a
/// key (optionally creating it), read and write typed values, close. Writes reach the
/// file when the session is closed or destroyed (atomically: temporary file, fsync, rename).
class Registry {
public:
    Registry();
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    /// Opens `key` below HKEY_CURRENT_USER: relative to the open key, if one is open, unless
    /// it begins with a backslash (a trailing backslash is ignored), as the runtime's
    /// registry class does. False when it does not exist and `canCreate` is false, or when
    /// creation is needed and the store cannot be written (lastError() says why).
    /// A failed open leaves the previously open key open.
    bool openKey(const std::string& key, bool canCreate);
    void closeKey();
    /// `key` is resolved as in openKey. deleteKey removes the whole subtree.
    bool keyExists(const std::string& key);
    bool deleteKey(const std::string& key);
    /// Names of the open key's direct subkeys, in creation order.
    std::vector<std::string> subKeyNames();
    /// The open key's path below HKEY_CURRENT_USER (stored case), empty when none is open.
    std::string currentPath() const { return m_currentKey; }

    bool valueExists(const std::string& name);
    std::optional<RegType> valueType(const std::string& name);
    std::vector<std::string> valueNames();
    bool deleteValue(const std::string& name);

    /// Typed reads throw Exception when the value is missing or has another type, as the
    /// runtime's registry class does. readBinary fails when the value is larger than maxSize.
    std::string readString(const std::string& name);
    uint32_t readInteger(const std::string& name);
    bool readBool(const std::string& name);
    std::vector<uint8_t> readBinary(const std::string& name, size_t maxSize);

    /// Writes throw Exception when no key is open or the store cannot be written.
    void writeString(const std::string& name, const std::string& value);
    void writeInteger(const std::string& name, uint32_t value);
    void writeBool(const std::string& name, bool value);
    void writeBinary(const std::string& name, const std::vector<uint8_t>& value);

    /// Writes pending changes to the file now. False (with lastError()) when it fails; the
    /// changes stay pending in memory. closeKey() and the destructor flush too.
    bool flush();
    std::string lastError() const;

private:
    std::string resolve(const std::string& key) const;

    RegistryStore* m_store;
    std::string m_lastError;
    std::string m_currentKey;
    bool m_keyOpen = false;
};

/// Location of the registry file: $TAMSEL_CONFIG, else $XDG_CONFIG_HOME/tamsel/registry.reg,
/// else ~/.config/tamsel/registry.reg. Read anew at each call (tests change it).
std::string RegistryFilePath();
