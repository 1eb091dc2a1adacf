#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The applications that handle a file type, as the desktop records them: .desktop files
// in the XDG application folders, chosen per MIME type through the mimeapps.list files
// (defaults, added and removed associations; desktop-specific lists first) and the
// mimeinfo.cache of each folder. This answers "open" and "open with" for our context menu.

struct DesktopApp {
    QString id;         // desktop file id, "org.example.Viewer.desktop"
    QString name;       // display name, the Traditional Chinese one when there is one
    QString exec;       // the Exec line
    QString icon;
    QString filePath;   // where the .desktop file was found
    bool terminal = false;
};

namespace DesktopApps {

/// The MIME type of a native file (by content for files that exist, by name otherwise).
QString MimeTypeOfFile(const QString& nativePath);
/// The MIME type by name alone (no file access).
QString MimeTypeOfName(const QString& fileName);

/// Loads a desktop file by id from the application folders. Hidden entries, entries that
/// are not applications and those whose TryExec program is missing give nothing.
std::optional<DesktopApp> Load(const QString& id);
/// The same for a desktop file given by its path (its id is then its file name).
std::optional<DesktopApp> LoadFile(const QString& path);

/// The applications for a type, the default first, each once; the type's parents
/// (text/plain for a C source) contribute after the type's own.
QList<DesktopApp> ApplicationsFor(const QString& mimeType);
/// The default application for a type, if any.
std::optional<DesktopApp> DefaultFor(const QString& mimeType);

/// The program and arguments for launching `app` on native files: the Exec line split by
/// its quoting rules, field codes replaced (%f %F %u %U %i %c %k %%), deprecated ones
/// dropped. Empty when the Exec line is malformed.
QStringList ExpandExec(const DesktopApp& app, const QStringList& nativeFiles);

/// Starts `app` detached on the files. False when it cannot be started, with the reason
/// in the program's words in *reason.
bool Launch(const DesktopApp& app, const QStringList& nativeFiles, QString* reason = nullptr);

} // namespace DesktopApps
