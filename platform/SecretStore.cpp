#include "platform/SecretStore.h"

#include <libsecret/secret.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

std::mutex g_availabilityMutex;
std::optional<bool> g_available;

const SecretSchema* schema() { return secret_get_schema(SECRET_SCHEMA_TYPE_COMPAT_NETWORK); }

std::string takeError(GError* error)
{
    std::string text = error && error->message ? error->message : "unknown error";
    if (error)
        g_error_free(error);
    return text;
}

void setError(std::string* out, std::string text)
{
    if (out)
        *out = std::move(text);
}

// The attributes as the schema spells them; empty ones are left out as other programs do,
// so that their lookups by a subset of attributes find ours.
GHashTable* attributesOf(const NetworkSecret& s)
{
    GHashTable* table = g_hash_table_new_full(g_str_hash, g_str_equal, nullptr, g_free);
    auto put = [table](const char* name, const std::string& value) {
        if (!value.empty())
            g_hash_table_insert(table, const_cast<char*>(name), g_strdup(value.c_str()));
    };
    put("user", s.user);
    put("domain", s.domain);
    put("server", s.server);
    // A server's own login carries an empty share: the service replaces an item whose
    // attributes include those of the new one, and a server's would otherwise take the
    // place of every share login of the same user.
    if (s.protocol == "smb")
        g_hash_table_insert(table, const_cast<char*>("object"), g_strdup(s.object.c_str()));
    else
        put("object", s.object);
    put("protocol", s.protocol);
    if (s.port > 0)
        put("port", std::to_string(s.port));
    return table;
}

std::string attribute(GHashTable* table, const char* name)
{
    const auto* value = static_cast<const char*>(g_hash_table_lookup(table, name));
    return value ? value : "";
}

NetworkSecret secretOf(GHashTable* table)
{
    NetworkSecret s;
    s.user = attribute(table, "user");
    s.domain = attribute(table, "domain");
    s.server = attribute(table, "server");
    s.object = attribute(table, "object");
    s.protocol = attribute(table, "protocol");
    s.port = std::atoi(attribute(table, "port").c_str());
    return s;
}

bool sameText(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return g_ascii_tolower(x) == g_ascii_tolower(y); });
}

bool sameAttributes(const NetworkSecret& a, const NetworkSecret& b)
{
    return a.user == b.user && a.domain == b.domain && a.server == b.server && a.object == b.object
           && a.protocol == b.protocol && a.port == b.port;
}

// The items of `protocol` as the service returns them (SecretItem objects); the caller unrefs.
GList* searchItems(const std::string& protocol, bool loadSecrets, std::string* error)
{
    GHashTable* query = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(query, const_cast<char*>("protocol"), const_cast<char*>(protocol.c_str()));
    GError* failure = nullptr;
    const int flags = SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | (loadSecrets ? SECRET_SEARCH_LOAD_SECRETS : 0);
    GList* items = secret_password_searchv_sync(schema(), query, SecretSearchFlags(flags), nullptr, &failure);
    g_hash_table_unref(query);
    if (failure)
        setError(error, takeError(failure));
    return items;
}

} // namespace

namespace SecretStore {

bool Available()
{
    std::lock_guard lock(g_availabilityMutex);
    if (!g_available) {
        GError* failure = nullptr;
        SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &failure);
        g_available = service != nullptr;
        if (service)
            g_object_unref(service);
        if (failure)
            g_error_free(failure);
    }
    return *g_available;
}

void ResetAvailability()
{
    std::lock_guard lock(g_availabilityMutex);
    g_available.reset();
    // The service object is shared per process: a new bus needs a new connection.
    secret_service_disconnect();
}

std::vector<NetworkSecret> Search(const std::string& protocol, std::string* error)
{
    std::vector<NetworkSecret> result;
    GList* items = searchItems(protocol, true, error);
    for (GList* node = items; node; node = node->next) {
        auto* item = SECRET_RETRIEVABLE(node->data);
        GHashTable* table = secret_retrievable_get_attributes(item);
        NetworkSecret secret = secretOf(table);
        g_hash_table_unref(table);
        if (SecretValue* value = secret_retrievable_retrieve_secret_sync(item, nullptr, nullptr)) {
            gsize length = 0;
            const gchar* bytes = secret_value_get(value, &length);
            secret.password.assign(bytes, length);
            secret_value_unref(value);
        }
        result.push_back(std::move(secret));
    }
    g_list_free_full(items, g_object_unref);
    return result;
}

bool Store(const NetworkSecret& secret, std::string* error)
{
    GHashTable* attributes = attributesOf(secret);
    // The label is what the desktop's keyring manager shows.
    std::string label = secret.protocol + "://";
    if (!secret.user.empty())
        label += secret.user + "@";
    label += secret.server;
    if (secret.port > 0)
        label += ":" + std::to_string(secret.port);
    if (!secret.object.empty())
        label += "/" + secret.object;
    GError* failure = nullptr;
    const bool stored = secret_password_storev_sync(schema(), attributes, SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                    secret.password.c_str(), nullptr, &failure);
    g_hash_table_unref(attributes);
    if (!stored)
        setError(error, takeError(failure));
    else if (failure)
        g_error_free(failure);
    return stored;
}

bool Remove(const NetworkSecret& secret, std::string* error)
{
    std::string searchError;
    GList* items = searchItems(secret.protocol, false, &searchError);
    bool ok = searchError.empty();
    if (!ok)
        setError(error, searchError);
    for (GList* node = items; node; node = node->next) {
        if (!SECRET_IS_ITEM(node->data))
            continue;
        auto* item = SECRET_ITEM(node->data);
        GHashTable* table = secret_item_get_attributes(item);
        const bool exact = sameAttributes(secretOf(table), secret);
        g_hash_table_unref(table);
        if (!exact)
            continue;
        GError* failure = nullptr;
        if (!secret_item_delete_sync(item, nullptr, &failure)) {
            setError(error, takeError(failure));
            ok = false;
        }
    }
    g_list_free_full(items, g_object_unref);
    return ok;
}

bool Matches(const NetworkSecret& item, const std::string& user, const std::string& domain,
             const std::string& server, const std::string& object, int port)
{
    if (!sameText(item.server, server) || !sameText(item.object, object) || item.port != port)
        return false;
    if (user.empty())
        return true;
    return sameText(item.user, user) && (domain.empty() || item.domain.empty() || sameText(item.domain, domain));
}

} // namespace SecretStore
