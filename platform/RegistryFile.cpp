#include "platform/RegistryFile.h"

#include "platform/Environment.h"
#include "platform/Exception.h"
#include "platform/RegistryStore.h"
#include "resources/StringTable.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// The key path in the store's form, or nullopt when it has an empty part ("a\\\\b").
// The export format has one line per key and per value, and no escape for a line break in
// a name: a key or value name holding a control character could only damage the file.
bool HoldsControl(const std::string& name)
{
    return std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::optional<std::string> NormalizeKey(std::string path)
{
    while (!path.empty() && path.front() == '\\')
        path.erase(0, 1);
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    if (path.find("\\\\") != std::string::npos || HoldsControl(path))
        return std::nullopt;
    return path;
}

RegValue* FindValue(RegKey* key, const std::string& name)
{
    if (!key)
        return nullptr;
    const std::string folded = RegistryStore::foldCase(name);
    for (RegValue& v : key->values)
        if (RegistryStore::foldCase(v.name) == folded)
            return &v;
    return nullptr;
}

}  // namespace

std::string RegistryFilePath()
{
    if (std::string path = EnvironmentValue("TAMSEL_CONFIG"); !path.empty())
        return path;
    return XdgFolder("XDG_CONFIG_HOME", ".config") + "/tamsel/registry.reg";
}

Registry::Registry() : m_store(&RegistryStore::forPath(RegistryFilePath()))
{
    std::lock_guard<std::mutex> lock(m_store->mutex());
    m_store->reloadIfChanged();
}

Registry::~Registry()
{
    closeKey();
}

std::string Registry::resolve(const std::string& key) const
{
    if (key.empty() || key[0] == '\\' || !m_keyOpen || m_currentKey.empty())
        return key;
    return m_currentKey + "\\" + key;
}

bool Registry::openKey(const std::string& key, bool canCreate)
{
    const std::optional<std::string> path = NormalizeKey(resolve(key));
    if (!path) {
        m_lastError = UiFormat("機碼名稱不正確：%1", {key});
        return false;
    }
    std::lock_guard<std::mutex> lock(m_store->mutex());
    RegKey* found = m_store->findKey(*path);
    if (!found) {
        if (!canCreate)
            return false;
        if (!m_store->ensureWritable(&m_lastError))
            return false;
        found = m_store->createKey(*path);
    }
    m_currentKey = found->path;
    m_keyOpen = true;
    return true;
}

void Registry::closeKey()
{
    if (!flush())
        std::fprintf(stderr, "tamsel: %s\n", m_lastError.c_str());
    m_keyOpen = false;
    m_currentKey.clear();
}

bool Registry::keyExists(const std::string& key)
{
    const std::optional<std::string> path = NormalizeKey(resolve(key));
    std::lock_guard<std::mutex> lock(m_store->mutex());
    return path && m_store->findKey(*path) != nullptr;
}

bool Registry::deleteKey(const std::string& key)
{
    const std::optional<std::string> path = NormalizeKey(resolve(key));
    std::lock_guard<std::mutex> lock(m_store->mutex());
    const RegKey* found = path ? m_store->findKey(*path) : nullptr;
    if (!found || found->readOnly || !m_store->ensureWritable(&m_lastError))
        return false;
    return m_store->deleteKey(*path);
}

std::vector<std::string> Registry::subKeyNames()
{
    std::lock_guard<std::mutex> lock(m_store->mutex());
    return m_keyOpen ? m_store->subKeyNames(m_currentKey) : std::vector<std::string>();
}

bool Registry::valueExists(const std::string& name)
{
    return valueType(name).has_value();
}

std::optional<RegType> Registry::valueType(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_store->mutex());
    if (!m_keyOpen)
        return std::nullopt;
    const RegValue* v = FindValue(m_store->findKey(m_currentKey), name);
    return v ? std::optional<RegType>(v->type) : std::nullopt;
}

std::vector<std::string> Registry::valueNames()
{
    std::lock_guard<std::mutex> lock(m_store->mutex());
    std::vector<std::string> names;
    if (RegKey* key = m_keyOpen ? m_store->findKey(m_currentKey) : nullptr)
        for (const RegValue& v : key->values)
            names.push_back(v.name);
    return names;
}

bool Registry::deleteValue(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_store->mutex());
    RegKey* key = m_keyOpen ? m_store->findKey(m_currentKey) : nullptr;
    const RegValue* v = FindValue(key, name);
    if (!v || key->readOnly || !m_store->ensureWritable(&m_lastError))
        return false;
    key->values.erase(key->values.begin() + (v - key->values.data()));
    m_store->markDirty();
    return true;
}

namespace {

// A copy of the value, or an Exception in the words of a failed typed read.
RegValue TypedValue(RegistryStore& store, bool keyOpen, const std::string& keyPath,
                    const std::string& name, RegType type)
{
    std::lock_guard<std::mutex> lock(store.mutex());
    const RegValue* v = keyOpen ? FindValue(store.findKey(keyPath), name) : nullptr;
    if (!v)
        throw Exception(UiFormat("登錄值 \"%1\" 不存在", {name}));
    if (v->type != type)
        throw Exception(UiFormat("登錄值 \"%1\" 的資料類型不正確", {name}));
    return *v;
}

}  // namespace

std::string Registry::readString(const std::string& name)
{
    return TypedValue(*m_store, m_keyOpen, m_currentKey, name, RegType::String).text;
}

uint32_t Registry::readInteger(const std::string& name)
{
    return TypedValue(*m_store, m_keyOpen, m_currentKey, name, RegType::DWord).dword;
}

bool Registry::readBool(const std::string& name)
{
    return readInteger(name) != 0;
}

std::vector<uint8_t> Registry::readBinary(const std::string& name, size_t maxSize)
{
    RegValue v = TypedValue(*m_store, m_keyOpen, m_currentKey, name, RegType::Binary);
    if (v.binary.size() > maxSize)
        throw Exception(UiFormat("登錄值 \"%1\" 的資料長度超過 %2 位元組", {name, std::to_string(maxSize)}));
    return std::move(v.binary);
}

namespace {

void WriteValue(RegistryStore& store, bool keyOpen, const std::string& keyPath, RegValue value)
{
    std::lock_guard<std::mutex> lock(store.mutex());
    RegKey* key = keyOpen ? store.findKey(keyPath) : nullptr;
    if (!key)
        throw Exception(UiFormat("無法寫入登錄值 \"%1\"：沒有開啟的機碼", {value.name}));
    if (key->readOnly)
        throw Exception(UiFormat("無法寫入登錄值 \"%1\"：機碼 %2 是唯讀的", {value.name, key->path}));
    if (HoldsControl(value.name))
        throw Exception(UiFormat("無法寫入登錄值 \"%1\"：名稱中有換行或控制字元", {value.name}));
    std::string error;
    if (!store.ensureWritable(&error))
        throw Exception(UiFormat("無法寫入登錄值 \"%1\"：%2", {value.name, error}));
    if (RegValue* old = FindValue(key, value.name)) {
        value.name = old->name;  // a rewrite keeps the value's place and spelling
        *old = std::move(value);
    } else {
        key->values.push_back(std::move(value));
    }
    store.markDirty();
}

}  // namespace

void Registry::writeString(const std::string& name, const std::string& value)
{
    RegValue v{name, RegType::String, value, 0, {}};
    WriteValue(*m_store, m_keyOpen, m_currentKey, std::move(v));
}

void Registry::writeInteger(const std::string& name, uint32_t value)
{
    RegValue v{name, RegType::DWord, {}, value, {}};
    WriteValue(*m_store, m_keyOpen, m_currentKey, std::move(v));
}

void Registry::writeBool(const std::string& name, bool value)
{
    writeInteger(name, value ? 1 : 0);
}

void Registry::writeBinary(const std::string& name, const std::vector<uint8_t>& value)
{
    RegValue v{name, RegType::Binary, {}, 0, value};
    WriteValue(*m_store, m_keyOpen, m_currentKey, std::move(v));
}

bool Registry::flush()
{
    std::lock_guard<std::mutex> lock(m_store->mutex());
    return m_store->flush(&m_lastError);
}

std::string Registry::lastError() const
{
    if (!m_lastError.empty())
        return m_lastError;
    std::lock_guard<std::mutex> lock(m_store->mutex());
    return m_store->loadError();
}
