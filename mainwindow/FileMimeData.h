#pragma once
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QMimeData;
class QUrl;

// The file lists that leave the window through a drag or the clipboard, and the ones that
// come back in. Real files and folders (local drive paths and "\\SERVER\SHARE\..." paths)
// travel as URLs, so the desktop's file managers understand them; entries that exist only
// inside the program (FTP items and stored node records, marked by a leading "1" to "5")
// travel in a private type that names the process they came from, because FTP entries are
// only meaningful to the FTP window of that process.
namespace FileMime {

inline const QString EntriesType = QStringLiteral("application/x-tamsel-entries");
inline const QString GnomeCopiedFilesType = QStringLiteral("x-special/gnome-copied-files");
inline const QString KdeCutType = QStringLiteral("application/x-kde-cutselection");

/// A file URL for a local drive path, an smb URL for a UNC path; empty (invalid) for
/// anything else.
QUrl UrlOfPath(const std::string& path);
/// The program's path of a file or smb URL; empty for any other URL or one that names no
/// place the program can reach.
std::string PathOfUrl(const QUrl& url);

/// True when the entry names a real file or folder rather than a program-only item.
bool IsRealEntry(const std::string& entry);

/// The data of a drag or a copy: the real entries as URLs (with the desktop's marker of a
/// cut when `cut`), and all entries, real or not, in the private type.
std::unique_ptr<QMimeData> MakeFileData(const std::vector<std::string>& entries, bool cut);

struct Entries {
    std::vector<std::string> entries;
    bool fromThisProcess = false;
    bool cut = false;
};

/// The entries of dropped or pasted data: the private type when it is there, otherwise the
/// file and smb URLs (others are left out). `cut` is read from either desktop's marker.
Entries EntriesOf(const QMimeData& data);

}  // namespace FileMime
