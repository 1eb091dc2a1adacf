#pragma once
#include <QMimeData>
#include <QPointer>
#include <QStringList>

#include <chrono>
#include <string>
#include <vector>

class TFTPEnumForm;

/// Clears the scratch folder `tempFolder` at start: the download folders of drags last
/// changed more than `dragsOlderThan` ago (the desktop has long copied what it wanted from
/// them; a younger one may belong to a drop still being copied, by this or another running
/// instance), and the copies opened from there (each in a folder of its own) whose last save
/// is more than `copiesOlderThan` ago.
void RemoveOldTempItems(const std::string& tempFolder, std::chrono::seconds dragsOlderThan,
                        std::chrono::seconds copiesOlderThan);

// The data of a drag of FTP files and folders. Inside the program the entries travel as
// they are, and a drop on a local folder downloads them there; the desktop asks for file
// URLs, and only then are the items downloaded (through the site window, which shows its
// progress) into a fresh folder under the program's scratch folder, whose files it gets.
class TFtpDragData : public QMimeData {
public:
    /// `entries` are "1" + remote file path or "2" + remote folder path; `tempFolder` is
    /// the scratch folder (Windows-style, ending in "\") the downloads go below.
    TFtpDragData(const std::vector<std::string>& entries, TFTPEnumForm* window, const std::string& tempFolder);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    /// The folder the items were downloaded into; empty before anyone asked for them.
    const std::string& downloadFolder() const { return m_folder; }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    /// Downloads the items once; the URLs of what arrived.
    QByteArray downloadedUrls() const;

    std::vector<std::string> m_entries;
    QPointer<TFTPEnumForm> m_window;
    std::string m_tempFolder;
    mutable std::string m_folder;
    mutable QByteArray m_urls;
    mutable bool m_fetched = false;
};
