#pragma once
#include <optional>
#include <string>
#include <vector>

// Network passwords in the desktop's keyring (the Secret Service, through libsecret), under the
// network-password schema every file manager of the desktop uses, so that a login saved by
// one serves the others. Calls block until the service answers; the service may ask the user
// to unlock the keyring, so the window thread calls only what a user's action asked for.

struct NetworkSecret {
    std::string user;      // without the domain
    std::string domain;    // empty when none
    std::string server;
    std::string object;    // the share, empty for a whole server
    std::string protocol;  // "smb" or "ftp"
    int port = 0;          // 0 when the protocol's usual port
    std::string password;
};

namespace SecretStore {

/// Whether a Secret Service answers on the session bus. Asked once per process (the answer
/// is kept); later calls return at once.
bool Available();
/// Forgets the kept answer of Available (a test that starts or stops a service).
void ResetAvailability();

/// Every item of `protocol` under the schema, with its password; empty with `error` set when
/// the service failed.
std::vector<NetworkSecret> Search(const std::string& protocol, std::string* error = nullptr);

/// Stores `secret` (its attributes and password), replacing an item of the same attributes.
/// False with `error` set when the service refused.
bool Store(const NetworkSecret& secret, std::string* error = nullptr);

/// Deletes the items whose attributes are exactly those of `secret` (an item of a share is
/// not one of its server); true when nothing failed, also when there was none.
bool Remove(const NetworkSecret& secret, std::string* error = nullptr);

/// Whether `item` answers for this user, server, share and port: names compare without
/// regard to ASCII case, an empty `user` takes any user, a port of 0 is the usual one.
bool Matches(const NetworkSecret& item, const std::string& user, const std::string& domain,
             const std::string& server, const std::string& object, int port);

} // namespace SecretStore
