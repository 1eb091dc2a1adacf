#pragma once
#include <string>
#include <string_view>
#include <vector>

// Names of SMB servers resolved from the program's own name table, a file in the lmhosts
// format that the expanded network is written to: a computer the user added by name and
// address is reached at that address even when no NetBIOS or DNS server knows the name.
// The SMB layer asks here before it builds a server's address; a name in the table wins
// over every other way of finding the server.

/// One usable line of a name table.
struct NameTableEntry {
    std::string address; // dotted IPv4 address
    std::string name;    // as written, without quotes or a "#xx" name-type suffix
};

/// The usable lines of an lmhosts text: "address name [#PRE] [#DOM:domain] [#comment]",
/// fields separated by blanks or tabs, the name optionally in double quotes. Comment lines
/// ("#..."; "#INCLUDE" and the block keywords too), blank lines and lines whose address is
/// not an IPv4 address or that have no name are skipped. Names are read as CP950, the code
/// page the table is written in, unless they are valid UTF-8; they come back as UTF-8.
std::vector<NameTableEntry> ParseNameTable(std::string_view text);

/// Names the table file (a Windows-style path); an empty path switches the lookup off.
/// Set once at start-up by the program; the file itself is read on first use and read again
/// whenever it changes on disk. Beside it, UnverifiedNameTablePath holds the lines of
/// computers that came in an imported archive and were not vouched for by the user: they
/// are a fall-back as discovery sightings are (ServerAddressSource::Imported).
void SetServerNameTable(const std::string& windowsPath);

/// The fall-back table beside the name table `tablePath`; same format.
std::string UnverifiedNameTablePath(const std::string& tablePath);

/// Where an address for a server name came from, most trusted first.
enum class ServerAddressSource {
    None,      // no address: the name is used as it is
    Table,     // the name table, which the user writes
    System,    // the system's name resolution
    Discovery, // an unauthenticated reply on the LAN; a stored password never goes there unasked
    Imported,  // an archive imported from elsewhere that the user did not vouch for; as Discovery
};

/// Whether a stored password may go to an address from `source` without asking: not to one
/// that only a discovery reply or an imported archive gave.
bool AddressIsVouchedFor(ServerAddressSource source);

struct ServerLocation {
    std::string address; // dotted IPv4, empty with None
    ServerAddressSource source = ServerAddressSource::None;
};

/// Where `name` is reached: the table's line (letters compared without regard to case; the
/// first line of a name counts), else the system's resolution of the name, else the address
/// a discovery saw it at (RememberServerAddress), else the unverified table's. Only a name
/// of those fall-backs is looked up by the system here: no other name costs a query.
/// Thread-safe.
ServerLocation LocateServer(const std::string& name);

/// LocateServer's address, empty when only the name reaches the server.
std::string ResolveServerName(const std::string& name);

/// The system's resolution used by LocateServer: an IPv4 address for a name, or empty.
/// Tests replace it (nullptr restores the system's own).
using SystemNameResolver = std::string (*)(const std::string& name);
void SetSystemNameResolver(SystemNameResolver resolver);

/// Remembers, for the rest of the run, the IPv4 address a discovery of the LAN saw `name`
/// at: a computer that answers no name query (NetBIOS switched off, no DNS entry) is still
/// reached. The table's own lines win over it; a later sighting replaces it, and an empty
/// `address` forgets the name. Anything but a dotted IPv4 address is ignored.
void RememberServerAddress(const std::string& name, const std::string& address);
