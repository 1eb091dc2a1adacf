#include "app/LanguageSetting.h"

#include "app/SetupInfo.h"
#include "platform/RegistryFile.h"
#include "platform/TextCodec.h"

#include <cstdlib>

std::string LoadLanguageSetting()
{
    try {
        Registry registry;
        if (!registry.openKey(kProgramKey, false) || !registry.valueExists(kLanguageValue))
            return {};
        return registry.readString(kLanguageValue);
    } catch (const std::exception&) {
        return {};
    }
}

bool SaveLanguageSetting(const std::string& choice)
{
    try {
        Registry registry;
        if (!registry.openKey(kProgramKey, true))
            return false;
        registry.writeString(kLanguageValue, choice);
        return registry.flush();
    } catch (const std::exception&) {
        return false;
    }
}

InterfaceLanguage ChosenLanguage(const std::string& choice)
{
    const std::string upper = UpperAscii(choice);
    if (upper == "EN")
        return InterfaceLanguage::English;
    if (upper == "CHT")
        return InterfaceLanguage::Chinese;
    return LanguageOfLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

void UseChosenLanguage()
{
    SetInterfaceLanguage(ChosenLanguage(LoadLanguageSetting()));
}
