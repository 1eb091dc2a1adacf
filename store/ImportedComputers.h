#pragma once
#include "store/NameTable.h"

#include <string>
#include <vector>

class TLZHuff;

// Computers that came into the node store in an archive from elsewhere. Whoever wrote the
// archive chose their names and addresses, so such a computer's address is not trusted as
// one the user entered: the name-table rebuild asks the user before it writes them into the
// name table, and those the user does not vouch for go to the unverified table, where the
// SMB layer takes them as a fall-back and sends them no stored password unasked.

/// The list of imported computers of the cache `cachePath`, lines as the name table's.
std::string ImportedComputersPath(const std::string& cachePath);

/// ImportArchive into `cachePath`, then adds to its imported list each stored computer
/// (name and address) the import brought that was not there before. Returns and raises as
/// ImportArchive; the list is written only when the import succeeded.
bool ImportArchiveIntoCache(TLZHuff& coder, const std::string& archivePath, const std::string& cachePath);

struct SortedComputers {
    std::vector<StoredComputer> vouched;  // entered by the user
    std::vector<StoredComputer> imported; // on the imported list with the same address
};

/// Sorts `computers` by the imported list of `cachePath`; a computer whose address the user
/// changed since the import counts as the user's.
SortedComputers SortByOrigin(const std::vector<StoredComputer>& computers, const std::string& cachePath);

/// Empties the imported list once the user vouched for all of it.
void ForgetImportedComputers(const std::string& cachePath);
