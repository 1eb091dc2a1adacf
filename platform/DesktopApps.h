#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The applications that handle a file type, as the desktop's own lookup (GIO's application
// information) finds them: the .desktop files of the XDG application folders, the
// mimeapps.list files (desktop-specific ones first) and the caches, read exactly as every
// other program of the desktop reads them. This answers "open" and "open with".

struct DesktopApp {
    QString id;         // desktop file id, "org.example.Viewer.desktop"; empty for a program chosen by path
    QString name;       // display name, the Traditional Chinese one when there is one
    QString exec;       // the Exec line (the command line for a program chosen by path)
    QString icon;       // a theme icon name, or an icon file
    QString filePath;   // where the .desktop file was found
};

namespace DesktopApps {

/// The MIME type of a native file (by content for files that exist, by name otherwise).
QString MimeTypeOfFile(const QString& nativePath);
/// The MIME type by name alone (no file access).
QString MimeTypeOfName(const QString& fileName);

/// Loads a desktop file by id from the application folders. Hidden entries, entries that
/// are not applications and those whose program is missing give nothing.
std::optional<DesktopApp> Load(const QString& id);
/// The same for a desktop file given by its path.
std::optional<DesktopApp> LoadFile(const QString& path);
/// A program the user picked by its path, to open files with (each file its argument).
/// Nothing when `program` is not an executable file.
std::optional<DesktopApp> FromProgram(const QString& program);

/// The applications for a type, the default first, each once; the applications of the
/// type's parents (text/plain for a C source) follow.
QList<DesktopApp> ApplicationsFor(const QString& mimeType);
/// The default application for a type, if any.
std::optional<DesktopApp> DefaultFor(const QString& mimeType);

/// Starts `app` on the native files (their paths as the application asks for them: paths
/// or file URIs). False, with the desktop's reason in `error`, when it cannot be started.
bool Launch(const DesktopApp& app, const QStringList& nativeFiles, QString* error = nullptr);

/// Makes `app` the user's default for `mimeType` (in the user's mimeapps.list, where every
/// program of the desktop finds it). False with the reason in `error`.
bool SetDefaultFor(const DesktopApp& app, const QString& mimeType, QString* error = nullptr);

} // namespace DesktopApps
