#pragma once
#include "platform/NetResource.h"

#include <string>
#include <vector>

// The disk shares of one server, read through this thread's SMB2/3 context.

struct SmbShare {
    NetResource resource; // display type 3 (share), remote name "\\HOST\SHARE", its comment
    bool hidden = false;  // the name ends in "$": administrative, left out of browse lists
};

/// The server part of `host`: a name, an address or "\\HOST" (a trailing backslash too).
std::string SmbHostName(const std::string& host);

/// The disk shares of `host` in the server's order; printers, IPC and other kinds are left
/// out. False with *error (a Win32 code: 53 no such server, 1326 or 86 logon refused, 5
/// access denied ...) on failure.
bool ListSmbShares(const std::string& host, std::vector<SmbShare>& shares, int* error = nullptr);
