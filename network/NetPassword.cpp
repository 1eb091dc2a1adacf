#include "network/NetPassword.h"

#include "app/SetupInfo.h"
#include "platform/Exception.h"
#include "platform/RegistryFile.h"
#include "platform/SmbContext.h"

const std::string NetPasswordKey = std::string("\\") + kProgramKey + "\\NetPassword";

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

bool LookupNetPassword(const std::string& location, std::string& userName, std::string& password)
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
    std::string user, secret;
    if (!SplitNetPassword(data, user, secret))
        return false;
    userName = std::move(user);
    password = std::move(secret);
    return true;
}

void StoreNetPassword(const std::string& location, const std::string& userName, const std::string& password)
{
    Registry registry;
    if (!registry.openKey(NetPasswordKey, true))
        throw Exception(registry.lastError());
    registry.writeString(location, userName + ";" + password);
    if (!registry.flush())
        throw Exception(registry.lastError());
}

void UseNetPasswordsForSmb()
{
    SmbCredentials::setFallback([](const std::string& location, std::string& user, std::string& password) {
        return LookupNetPassword(location, user, password);
    });
}
