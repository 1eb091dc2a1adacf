#pragma once
// NetBIOS name resolution on the LAN: a computer that no DNS server and no name table knows
// still answers a broadcast name query for its own name. Offices name their computers in
// Chinese, and the name goes on the wire in the OEM code page (SmbOemCharset), as the
// computer itself registered it.
#include <atomic>
#include <string>
#include <vector>

/// The IPv4 address the computer `name` gives in answer to a broadcast NetBIOS name query
/// for its server name (type 0x20): the name in the OEM code page with its ASCII letters
/// upper-cased. Empty when nobody answers within `timeoutMs` or `stop` is raised, when the
/// name is an address, empty or longer than 15 bytes, or when the SMB configuration keeps
/// broadcasts off (a "name resolve order" without "bcast"). Asked on the broadcast address
/// of each interface the configuration's "interfaces" allows (every one but loopback when
/// it names none). Answers and silences are remembered for a while. Blocking: call it on a
/// worker.
std::string ResolveNetBiosName(const std::string& name, int timeoutMs = 1500, const std::atomic<bool>* stop = nullptr);

/// The 50-byte name query packet for `name` (already in the OEM code page, at most 15
/// bytes) with transaction id `id`; and the first IPv4 address of a positive answer to
/// that id, empty for anything else.
std::string NetBiosNameQuery(const std::string& oemName, uint16_t id);
std::string NetBiosAnswerAddress(const std::string& packet, uint16_t id);

/// What of an smb.conf text decides the broadcast: whether "name resolve order" allows
/// "bcast", and the entries of "interfaces" (both of the [global] section).
struct NetBiosBroadcastSettings {
    bool broadcast = true;
    std::vector<std::string> interfaces;
};
NetBiosBroadcastSettings ReadNetBiosBroadcastSettings(const std::string& smbConfText);
