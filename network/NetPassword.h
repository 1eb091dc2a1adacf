#pragma once
#include <string>

// The passwords of network locations, kept in the registry key "NetPassword" of the
// program: one string value per location, "user;password". The user name cannot hold ";",
// the password can. Nothing here writes a password anywhere else.

/// The registry key of the store, below HKEY_CURRENT_USER, with its leading backslash.
extern const std::string NetPasswordKey;

/// Splits a stored "user;password" at its first ";" (the password may hold more). False,
/// with both emptied, when there is no ";".
bool SplitNetPassword(const std::string& data, std::string& userName, std::string& password);

/// The entry of `location` (value names compare without regard to ASCII case). False
/// when there is no value or its data holds no ";".
bool LookupNetPassword(const std::string& location, std::string& userName, std::string& password);

/// Writes the entry of `location`, replacing an earlier one; the key is made on first use.
/// Raises the registry's Exception when the store cannot be written.
void StoreNetPassword(const std::string& location, const std::string& userName, const std::string& password);

/// Lets the SMB layer's authentication answer from the store: a share's entry
/// ("\\SERVER\SHARE\"), else its server's ("\\SERVER").
void UseNetPasswordsForSmb();
