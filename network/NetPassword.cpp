#include "network/NetPassword.h"

#include "app/SetupInfo.h"
#include "platform/Exception.h"
#include "platform/RegistryFile.h"
#include "platform/RegistryStore.h"
#include "platform/SmbContext.h"
#include "store/FtpSiteBlock.h"
#include "store/NodeAttachment.h"
#include "store/NameTable.h"
#include "store/NodeFile.h"
#include "store/TNodeData.h"

#include <array>

const std::string NetPasswordKey = std::string("\\") + kProgramKey + "\\NetPassword";

namespace {

constexpr int kFtpPort = 21;

// The registry's entry of `location`, as it is stored.
bool readRegistryEntry(const std::string& location, std::string& userName, std::string& password)
{
    Registry registry;
    if (!registry.openKey(NetPasswordKey, false) || !registry.valueExists(location))
        return false;
    std::string data;
    try {
        data = registry.readString(location);
    } catch (const Exception&) {
        return false; // a value of another type is no entry
    }
    return SplitNetPassword(data, userName, password);
}

void writeRegistryEntry(const std::string& location, const std::string& data)
{
    Registry registry;
    if (!registry.openKey(NetPasswordKey, true))
        throw Exception(registry.lastError());
    registry.writeString(location, data);
    if (!registry.flush())
        throw Exception(registry.lastError());
}

std::string joinedUser(const NetworkSecret& item)
{
    return item.domain.empty() ? item.user : item.domain + "\\" + item.user;
}

std::string locationOf(const NetworkSecret& item)
{
    return "\\\\" + item.server + (item.object.empty() ? std::string() : "\\" + item.object + "\\");
}

NetworkSecret ftpSecretOf(const FtpSiteBlock& block)
{
    NetworkSecret secret;
    secret.protocol = "ftp";
    secret.server = block.Host;
    secret.user = block.User;
    secret.port = block.Port == kFtpPort || block.Port <= 0 ? 0 : block.Port;
    secret.password = block.Password;
    return secret;
}

void storeOrRaise(const NetworkSecret& secret)
{
    std::string error;
    if (!SecretStore::Store(secret, &error))
        throw Exception("無法把密碼存入桌面的鑰匙圈：" + error);
}

} // namespace

bool SplitNetPassword(const std::string& data, std::string& userName, std::string& password)
{
    const size_t semicolon = data.find(';');
    if (semicolon == std::string::npos) {
        userName.clear();
        password.clear();
        return false;
    }
    userName = data.substr(0, semicolon);
    password = data.substr(semicolon + 1);
    return true;
}

bool NetPasswordsInKeyring()
{
    return SecretStore::Available();
}

bool TellKeyringAbsentOnce(bool keyringFound)
{
    static const char* const toldValue = "KeyringAbsentTold";
    Registry registry;
    if (!registry.openKey(std::string("\\") + kProgramKey, true))
        return false;
    const bool told = registry.valueExists(toldValue);
    if (keyringFound) {
        if (told) {
            registry.deleteValue(toldValue);
            registry.flush();
        }
        return false;
    }
    if (told)
        return false;
    registry.writeInteger(toldValue, 1);
    registry.flush();
    return true;
}

bool SmbSecretOf(const std::string& location, const std::string& userName, NetworkSecret& secret)
{
    // "\\SERVER\SHARE\", "\\SERVER", or a name typed into the manager without the slashes.
    std::string rest = location;
    while (!rest.empty() && (rest.front() == '\\' || rest.front() == '/'))
        rest.erase(0, 1);
    while (!rest.empty() && (rest.back() == '\\' || rest.back() == '/'))
        rest.pop_back();
    const size_t split = rest.find_first_of("\\/");
    secret = NetworkSecret{};
    secret.protocol = "smb";
    secret.server = rest.substr(0, split);
    secret.object = split == std::string::npos ? std::string() : rest.substr(split + 1);
    const size_t slash = userName.find('\\');
    secret.user = slash == std::string::npos ? userName : userName.substr(slash + 1);
    secret.domain = slash == std::string::npos ? std::string() : userName.substr(0, slash);
    return !secret.server.empty();
}

bool LookupNetPassword(const std::string& location, std::string& userName, std::string& password)
{
    std::string user, secret;
    const bool inRegistry = readRegistryEntry(location, user, secret);
    if (NetPasswordsInKeyring()) {
        NetworkSecret wanted;
        if (SmbSecretOf(location, user, wanted)) {
            // The registry's user name picks among several logins of one share; without
            // one, any login of it serves (one another program saved, say).
            for (const NetworkSecret& item : SecretStore::Search("smb")) {
                if (SecretStore::Matches(item, wanted.user, wanted.domain, wanted.server, wanted.object, 0)) {
                    userName = joinedUser(item);
                    password = item.password;
                    return true;
                }
            }
        }
    }
    if (!inRegistry)
        return false;
    userName = std::move(user);
    password = std::move(secret);
    return true;
}

void StoreNetPassword(const std::string& location, const std::string& userName, const std::string& password)
{
    NetworkSecret secret;
    if (NetPasswordsInKeyring() && SmbSecretOf(location, userName, secret)) {
        // One login per location, as without a keyring: the one stored before for this
        // location (under the user the registry names, or in other ASCII case) goes.
        std::string oldUser, oldPassword;
        readRegistryEntry(location, oldUser, oldPassword);
        NetworkSecret old;
        SmbSecretOf(location, oldUser, old);
        for (const NetworkSecret& item : SecretStore::Search("smb")) {
            const bool sameLogin = SecretStore::Matches(item, secret.user, secret.domain, secret.server, secret.object, 0)
                                   || (!oldUser.empty()
                                       && SecretStore::Matches(item, old.user, old.domain, old.server, old.object, 0));
            if (sameLogin)
                SecretStore::Remove(item);
        }
        secret.password = password;
        storeOrRaise(secret);
        writeRegistryEntry(location, userName + ";");
        return;
    }
    writeRegistryEntry(location, userName + ";" + password);
}

std::vector<NetPasswordEntry> ListNetPasswords()
{
    std::vector<NetPasswordEntry> entries;
    const bool keyring = NetPasswordsInKeyring();
    if (keyring) {
        std::string error;
        std::vector<NetworkSecret> items = SecretStore::Search("smb", &error);
        if (!error.empty())
            throw Exception("無法讀取桌面的鑰匙圈：" + error);
        for (NetworkSecret& item : items) {
            NetPasswordEntry entry;
            entry.location = locationOf(item);
            entry.userName = joinedUser(item);
            entry.password = item.password;
            entry.inKeyring = true;
            entry.item = std::move(item);
            entries.push_back(std::move(entry));
        }
    }
    Registry registry;
    if (!registry.openKey(NetPasswordKey, false))
        return entries;
    for (const std::string& name : registry.valueNames()) {
        std::string data, user, password;
        try {
            data = registry.readString(name);
        } catch (const Exception&) {
            // A value of another type is no entry; it is listed empty so that it can be deleted.
        }
        SplitNetPassword(data, user, password);
        // With a keyring, "user;" only names the user of a login the keyring holds.
        if (keyring && password.empty())
            continue;
        entries.push_back(NetPasswordEntry{name, user, password, false, {}});
    }
    return entries;
}

void DeleteNetPassword(const NetPasswordEntry& entry)
{
    if (entry.inKeyring) {
        std::string error;
        if (!SecretStore::Remove(entry.item, &error))
            throw Exception("無法從桌面的鑰匙圈刪除密碼：" + error);
    }
    Registry registry;
    if (!registry.openKey(NetPasswordKey, false))
        return;
    // The registry value of the location, whatever case it was written in.
    const std::string folded = RegistryStore::foldCase(entry.location);
    for (const std::string& name : registry.valueNames()) {
        if (RegistryStore::foldCase(name) == folded)
            registry.deleteValue(name);
    }
    if (!registry.flush())
        throw Exception(registry.lastError());
}

int MoveNetPasswordsToKeyring(std::string* error)
{
    if (!NetPasswordsInKeyring())
        return 0;
    Registry registry;
    if (!registry.openKey(NetPasswordKey, false))
        return 0;
    int moved = 0;
    for (const std::string& name : registry.valueNames()) {
        std::string data, user, password;
        try {
            data = registry.readString(name);
        } catch (const Exception&) {
            continue;
        }
        NetworkSecret secret;
        if (!SplitNetPassword(data, user, password) || password.empty() || !SmbSecretOf(name, user, secret))
            continue;
        secret.password = password;
        std::string refused;
        if (!SecretStore::Store(secret, &refused)) {
            if (error)
                *error = refused;
            continue;
        }
        // Only once the keyring holds it does the file lose it.
        registry.writeString(name, user + ";");
        moved++;
    }
    if (moved > 0 && !registry.flush()) {
        if (error)
            *error = registry.lastError();
    }
    return moved;
}

void UseNetPasswordsForSmb()
{
    SmbCredentials::setFallback([](const std::string& location, std::string& user, std::string& password) {
        return LookupNetPassword(location, user, password);
    });
}

FtpSiteBlock FtpSiteBlockForFile(const FtpSiteBlock& block)
{
    FtpSiteBlock forFile = block;
    if (block.Password.empty() || block.Host.empty() || !NetPasswordsInKeyring())
        return forFile;
    storeOrRaise(ftpSecretOf(block));
    forFile.Password.clear();
    return forFile;
}

void WriteFtpSiteAttachment(const TNodeData& site, const FtpSiteBlock& block)
{
    std::array<unsigned char, FtpSiteBlockSize> bytes{};
    EncodeFtpSiteBlock(FtpSiteBlockForFile(block), bytes.data());
    WriteNodeAttachment(site, bytes.data(), bytes.size());
}

namespace {

// The site block as the ".ATT" holds it. Raises what ReadNodeAttachment raises.
FtpSiteBlock readSiteBlockFile(const TNodeData& site)
{
    std::array<unsigned char, FtpSiteBlockSize> bytes{};
    ReadNodeAttachment(site, bytes.data(), bytes.size());
    return DecodeFtpSiteBlock(bytes.data());
}

} // namespace

FtpSiteBlock ReadFtpSiteAttachment(const TNodeData& site)
{
    FtpSiteBlock block = readSiteBlockFile(site);
    if (block.Host.empty() || !NetPasswordsInKeyring())
        return block;
    if (!block.Password.empty()) {
        // A site saved before the keyring was there: its password moves now. Should the
        // keyring or the file refuse, the site still connects with what it read.
        try {
            WriteFtpSiteAttachment(site, block);
        } catch (const std::exception&) {
        }
        return block;
    }
    const NetworkSecret wanted = ftpSecretOf(block);
    for (const NetworkSecret& item : SecretStore::Search("ftp")) {
        if (SecretStore::Matches(item, wanted.user, "", wanted.server, "", wanted.port)) {
            block.Password = item.password;
            break;
        }
    }
    return block;
}

int MoveFtpPasswordsToKeyring(const std::string& cachePath, std::string* error)
{
    if (!NetPasswordsInKeyring())
        return 0;
    int moved = 0;
    const auto note = [&](const std::string& reason) {
        if (error && error->empty())
            *error = reason;
    };
    try {
        VisitStoredNodes(cachePath, [&](const TNodeData& record) {
            if (record.RootKind != FtpRoot || !record.has(Computer) || (record.State & Deleted))
                return;
            try {
                const FtpSiteBlock block = readSiteBlockFile(record);
                if (block.Host.empty() || block.Password.empty())
                    return;
                WriteFtpSiteAttachment(record, block);
                moved++;
            } catch (const std::exception& e) {
                note(record.Caption + "：" + e.what());
            }
        });
    } catch (const std::exception& e) {
        note(e.what());  // a damaged node file: the sites behind it keep their passwords
    }
    return moved;
}
