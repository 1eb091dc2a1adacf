#include "network/DnsSdSource.h"

#include "platform/NativeNames.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace discovery {
namespace {

using Clock = std::chrono::steady_clock;

// What the callbacks of one browse share.
struct Browse {
    AvahiClient* client = nullptr;
    std::vector<Sighting> sightings;
    int pendingResolvers = 0;
    bool allForNow = false; // the daemon has reported every service it knows
    bool failed = false;
};

void resolved(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
              const char* name, const char*, const char*, const char*, const AvahiAddress* address, uint16_t,
              AvahiStringList*, AvahiLookupResultFlags, void* data)
{
    auto* browse = static_cast<Browse*>(data);
    --browse->pendingResolvers;
    if (event == AVAHI_RESOLVER_FOUND && name) {
        // A service name is the announcer's text: it becomes a computer's name only when it
        // is a plain name, never a path.
        if (!IsPlainName(name)) {
            std::fprintf(stderr, "tamsel: DNS-SD: a service name that is not a plain name was left out\n");
        } else {
            char text[AVAHI_ADDRESS_STR_MAX] = "";
            if (address && address->proto == AVAHI_PROTO_INET)
                avahi_address_snprint(text, sizeof text, address);
            browse->sightings.push_back({Sighting::Computer, name, {}, text, false, DnsSd});
        }
    }
    avahi_service_resolver_free(resolver);
}

void browsed(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol, AvahiBrowserEvent event,
             const char* name, const char* type, const char* domain, AvahiLookupResultFlags, void* data)
{
    auto* browse = static_cast<Browse*>(data);
    switch (event) {
    case AVAHI_BROWSER_NEW:
        // Every interface and protocol reports its own sighting; the merge makes them one.
        if (avahi_service_resolver_new(browse->client, interface, protocol, name, type, domain, AVAHI_PROTO_INET,
                                       AvahiLookupFlags(0), resolved, browse))
            ++browse->pendingResolvers;
        break;
    case AVAHI_BROWSER_ALL_FOR_NOW: browse->allForNow = true; break;
    case AVAHI_BROWSER_FAILURE: browse->failed = true; break;
    case AVAHI_BROWSER_REMOVE:
    case AVAHI_BROWSER_CACHE_EXHAUSTED: break;
    }
}

void clientState(AvahiClient*, AvahiClientState state, void* data)
{
    if (state == AVAHI_CLIENT_FAILURE)
        static_cast<Browse*>(data)->failed = true;
}

} // namespace

std::vector<Sighting> DiscoverDnsSd(int waitMs, const std::atomic<bool>* stop)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    std::unique_ptr<AvahiSimplePoll, decltype(&avahi_simple_poll_free)> poll(avahi_simple_poll_new(),
                                                                             avahi_simple_poll_free);
    if (!poll)
        return {};
    Browse browse;
    int error = 0;
    // Without AVAHI_CLIENT_NO_FAIL the client fails at once when no daemon answers on the
    // system bus: no daemon, no answer, no waiting.
    browse.client = avahi_client_new(avahi_simple_poll_get(poll.get()), AvahiClientFlags(0), clientState, &browse, &error);
    if (!browse.client)
        return {};
    AvahiServiceBrowser* browser = avahi_service_browser_new(browse.client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                             "_smb._tcp", nullptr, AvahiLookupFlags(0), browsed, &browse);
    if (browser) {
        while (!browse.failed && !(stop && stop->load())) {
            if (browse.allForNow && browse.pendingResolvers == 0)
                break;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            // Short slices, so that a stop is seen soon.
            if (avahi_simple_poll_iterate(poll.get(), int(std::min<long long>(left, 50))) != 0)
                break;
        }
        avahi_service_browser_free(browser);
    }
    // Frees the resolvers still running with it.
    avahi_client_free(browse.client);
    return std::move(browse.sightings);
}

} // namespace discovery
