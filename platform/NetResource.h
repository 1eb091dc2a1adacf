#pragma once
// One resource of the network neighbourhood, with the four values the node records keep
// verbatim (scope, type, display type, usage) and the names that go with them.
#include <cstdint>
#include <string>

namespace netres {
constexpr uint32_t ScopeGlobalNet = 2;
constexpr uint32_t TypeAny = 0;
constexpr uint32_t TypeDisk = 1;
constexpr uint32_t DisplayGeneric = 0;
constexpr uint32_t DisplayDomain = 1;
constexpr uint32_t DisplayServer = 2;
constexpr uint32_t DisplayShare = 3;
constexpr uint32_t DisplayNetwork = 6; // a provider
constexpr uint32_t UsageConnectable = 1;
constexpr uint32_t UsageContainer = 2;
/// The one provider this program knows.
inline const char* const ProviderName = "Microsoft Windows Network";
} // namespace netres

struct NetResource {
    uint32_t Scope = netres::ScopeGlobalNet;
    uint32_t ResourceType = netres::TypeDisk;
    uint32_t DisplayType = netres::DisplayGeneric;
    uint32_t Usage = 0;
    std::string LocalName;
    std::string RemoteName; // "WORKGROUP", "\\SERVER", "\\SERVER\SHARE"
    std::string Comment;
    std::string Provider = netres::ProviderName;
};
