#include "mainwindow/FtpDragData.h"

#include "local/TOpenedCopies.h"
#include "mainwindow/FileMimeData.h"
#include "network/TFTPEnumForm.h"
#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "store/NodePaths.h"

#include <QUrl>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

const QString kUriList = QStringLiteral("text/uri-list");
const char kFolderPrefix[] = "drag-";

// A folder of its own for each drag, so that items of two drags never meet and nothing
// the desktop is still copying from is overwritten.
std::string freshFolder(const std::string& tempFolder)
{
    if (!ForceDirectories(tempFolder))
        return {};
    std::string pattern = NativePath(AddBackslash(tempFolder)) + kFolderPrefix + "XXXXXX";
    if (pattern.size() <= 12 || !::mkdtemp(pattern.data()))
        return {};
    return AddBackslash(WindowsPath(pattern));
}

std::string itemName(const std::string& entry)
{
    return std::string(BareName(RemoveBackslash(entry.substr(1))));
}

} // namespace

void RemoveOldTempItems(const std::string& tempFolder, std::chrono::seconds dragsOlderThan,
                        std::chrono::seconds copiesOlderThan)
{
    namespace fs = std::filesystem;
    const std::string native = NativePath(AddBackslash(tempFolder));
    if (native.empty())
        return;
    const auto now = fs::file_time_type::clock::now();
    std::error_code error;
    for (fs::directory_iterator it(native, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        // A drag's folder, an opened copy's folder, or a file an older version downloaded
        // to open it; nothing else.
        const std::string name = path.filename().string();
        const bool folder = it->is_directory(error) && !it->is_symlink(error);
        const bool drag = folder && name.rfind(kFolderPrefix, 0) == 0;
        const bool openedFolder = folder && name.rfind(TOpenedCopies::kFolderPrefix, 0) == 0;
        const bool copy = !drag && (openedFolder || (it->is_regular_file(error) && !it->is_symlink(error)));
        if (!drag && !copy)
            continue;
        // An opened copy's folder is as old as the last save of its copy.
        auto changed = fs::last_write_time(path, error);
        if (openedFolder && !error) {
            std::error_code inner;
            for (fs::directory_iterator file(path, inner), last; !inner && file != last; file.increment(inner)) {
                const auto saved = fs::last_write_time(file->path(), inner);
                if (!inner && saved > changed)
                    changed = saved;
                inner.clear();
            }
        }
        if (!error && changed < now - (drag ? dragsOlderThan : copiesOlderThan)) {
            std::error_code ignored;  // what cannot go now goes at a later start
            fs::remove_all(path, ignored);
        }
        error.clear();
    }
}

TFtpDragData::TFtpDragData(const std::vector<std::string>& entries, TFTPEnumForm* window, const std::string& tempFolder)
    : m_entries(entries), m_window(window), m_tempFolder(tempFolder)
{
    const std::unique_ptr<QMimeData> plain = FileMime::MakeFileData(entries, false);
    for (const QString& format : plain->formats())
        setData(format, plain->data(format));
}

QStringList TFtpDragData::formats() const
{
    QStringList list = QMimeData::formats();
    if (!list.contains(kUriList))
        list.append(kUriList);
    return list;
}

bool TFtpDragData::hasFormat(const QString& mimeType) const
{
    return mimeType == kUriList || QMimeData::hasFormat(mimeType);
}

QVariant TFtpDragData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType == kUriList)
        return downloadedUrls();
    return QMimeData::retrieveData(mimeType, type);
}

QByteArray TFtpDragData::downloadedUrls() const
{
    // Asked once: the desktop may ask again (and even while the download runs, from the
    // site window's event loop); it gets what the first request fetched.
    if (m_fetched)
        return m_urls;
    m_fetched = true;
    if (!m_window)
        return m_urls;
    m_folder = freshFolder(m_tempFolder);
    if (m_folder.empty())
        return m_urls;
    m_window->DownloadFiles(m_folder, m_entries);
    for (const std::string& entry : m_entries) {
        const std::string name = itemName(entry);
        // Names DownloadFiles refused never reached the folder; ".." would name its parent.
        if (entry.size() < 2 || name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            continue;
        const std::string path = m_folder + name;
        if (!FileExists(path) && !DirectoryExists(path))
            continue;
        const QUrl url = FileMime::UrlOfPath(path);
        if (url.isValid())
            m_urls += url.toEncoded() + "\r\n";
    }
    return m_urls;
}
