#pragma once
#include "platform/SecretStore.h"

#include <string>
#include <vector>

struct FtpSiteBlock;
struct TNodeData;

// The passwords of network locations. Where the desktop runs a keyring (a Secret Service),
// the secrets live there, under the desktop's network-password schema, so that a share's
// login saved by another file manager serves this one and the other way round; the registry
// key "NetPassword" then keeps each location's user name without the password ("user;").
// Without a keyring the registry value holds "user;password" as it always did (the file is
// readable by its owner alone). The user name cannot hold ";", the password can. Which
// server a password may go to is decided by the SMB layer before the store is asked.

/// The registry key of the store, below HKEY_CURRENT_USER, with its leading backslash.
extern const std::string NetPasswordKey;

/// Splits a stored "user;password" at its first ";" (the password may hold more). False,
/// with both emptied, when there is no ";".
bool SplitNetPassword(const std::string& data, std::string& userName, std::string& password);

/// Whether the secrets go to the desktop's keyring in this run (asked once, then kept).
bool NetPasswordsInKeyring();

/// The entry of `location` ("\\SERVER\SHARE\", "\\SERVER"; names compare without regard to
/// ASCII case): the keyring's item for that server and share when a keyring runs, else (or
/// when it has none) the registry value. False when there is none or its data holds no ";".
bool LookupNetPassword(const std::string& location, std::string& userName, std::string& password);

/// Writes the entry of `location`, replacing an earlier one; the key is made on first use.
/// Raises Exception when the keyring or the registry cannot be written.
void StoreNetPassword(const std::string& location, const std::string& userName, const std::string& password);

/// One row of the password manager.
struct NetPasswordEntry {
    std::string location;
    std::string userName;   // "DOMAIN\user" when the keyring's item names a domain
    std::string password;
    bool inKeyring = false;
    NetworkSecret item;     // the keyring's item as found, to delete exactly it
};

/// The stored entries: every share and server login of the keyring (also those other
/// programs saved) and the registry values that still hold a password; without a keyring
/// every registry value, those without ";" listed empty. Raises Exception when the keyring fails.
std::vector<NetPasswordEntry> ListNetPasswords();

/// Deletes `entry` from where it was found, and its location's registry value. Raises
/// Exception when the keyring or the registry refuses.
void DeleteNetPassword(const NetPasswordEntry& entry);

/// Moves the registry's passwords into the keyring, leaving "user;" behind; the number moved.
/// Nothing happens without a keyring. An entry the keyring refused stays where it was and
/// its reason goes to `error`.
int MoveNetPasswordsToKeyring(std::string* error = nullptr);

/// Moves the passwords of the FTP sites stored below `cachePath` (the ".ATT" of each site of
/// the expanded network and the bookmarks) into the keyring, each file rewritten in its format
/// with the field empty; the number moved. Nothing happens without a keyring. A site the
/// keyring or its file refused keeps its password and the first reason goes to `error`.
int MoveFtpPasswordsToKeyring(const std::string& cachePath, std::string* error = nullptr);

/// Whether the user still has to be told that no keyring runs: true once, until a keyring is
/// found again (then the next absence is told anew). Kept in the program's registry key.
bool TellKeyringAbsentOnce(bool keyringFound);

/// The keyring's item for an SMB location, or what it would be (server and share from the
/// location, the domain from a "DOMAIN\user" name). False when the location names no server.
bool SmbSecretOf(const std::string& location, const std::string& userName, NetworkSecret& secret);

/// Lets the SMB layer's authentication answer from the store: a share's entry
/// ("\\SERVER\SHARE\"), else its server's ("\\SERVER").
void UseNetPasswordsForSmb();

/// An FTP site's block from its ".ATT": a password the file holds moves to the keyring when
/// one runs (the file is rewritten with the field empty); an empty field is filled from the
/// keyring. Raises what ReadNodeAttachment raises.
FtpSiteBlock ReadFtpSiteAttachment(const TNodeData& site);
/// Writes the site's ".ATT" in its format, with the password field empty when the keyring
/// took the password. Raises what WriteNodeAttachment raises, and Exception when the keyring fails.
void WriteFtpSiteAttachment(const TNodeData& site, const FtpSiteBlock& block);
/// The block as its file should hold it: the password stored in the keyring (when one runs)
/// and emptied here. Raises Exception when the keyring refuses.
FtpSiteBlock FtpSiteBlockForFile(const FtpSiteBlock& block);
