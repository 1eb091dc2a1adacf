#pragma once
#include "local/TWorkerThread.h"
#include "platform/Win32Error.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>

// Reads the names in one folder (of a share, mostly) in the background, files apart from
// folders, both sorted, for the network expansion window to turn into folder nodes. The
// root of a share has its connection dropped afterwards. A name that is not a plain name
// ("..", or holding "/", "\" or NUL) is left out with a line in the log: it is data from
// the server, never a path.
class TObjFindFiles : public TWorkerThread {
    Q_OBJECT
public:
    /// `path` is a Windows-style folder ("\\SRV\SHARE", "\\SRV\SHARE\DIR\", "C:\DIR").
    explicit TObjFindFiles(const std::string& path);

    void StartListing() { Resume(); }

    /// The folder with its trailing backslash.
    const std::string Folder;
    /// Folder + "*.*".
    const std::string Pattern;
    /// Bare names, sorted case-insensitively by the user's locale once the listing ended.
    QStringList Files;
    QStringList Folders;
    uint32_t ErrorCode = 0;
    QString ErrorText;
    bool Completed = false;
    /// Whether the listing dropped the share's connection (the folder was a share root).
    bool ConnectionCancelled = false;

    /// Whether `folder` (with its trailing backslash) is the root of a share ("\\SRV\SHARE\").
    static bool IsShareRoot(const std::string& folder);

protected:
    void Execute() override;
    void ExecuteFailed(const std::string& message) override
    {
        ErrorCode = Win32::GenFailure;
        ErrorText = QString::fromStdString(message);
    }
};
