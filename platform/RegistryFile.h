#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A typed key store with the registry's semantics, persisted for HKEY_CURRENT_USER as one
// text file in the registry's own export format, at $TAMSEL_CONFIG or
// $XDG_CONFIG_HOME/tamsel/registry.reg. Key paths use backslashes and compare without
// regard to ASCII case ("Software\\Brightmoor\\Morvane\\Tamsel"); value order is kept.

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

    /// Opens `key` below HKEY_CURRENT_USER. False when it does not exist and `canCreate`
    /// is false, or when the store cannot be loaded or is read-only and creation is needed.
    bool openKey(const std::string& key, bool canCreate);
    void closeKey();
    bool keyExists(const std::string& key);
    bool deleteKey(const std::string& key);
    std::vector<std::string> subKeyNames();

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

    /// Writes pending changes to the file now. False (with lastError()) when it fails.
    bool flush();
    std::string lastError() const;

private:
    RegistryStore* m_store;
    std::string m_currentKey;
    bool m_keyOpen = false;
};

/// Location of the registry file.
std::string RegistryFilePath();
