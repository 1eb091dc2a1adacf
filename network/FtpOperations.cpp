// The file operations of a connected site window: download, upload, open, rename, delete
// and new folder, each holding the window's busy flag for its whole run.
#include "network/TFTPEnumForm.h"

#include "app/SetupInfo.h"
#include "local/ErrorText.h"
#include "platform/DateTime.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "platform/NativeNames.h"
#include "platform/ShellServices.h"
#include "platform/TextCodec.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/NodePaths.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>

#include <algorithm>
#include <memory>
#include <sys/stat.h>

namespace {

QString qtext(const std::string& text) { return QString::fromStdString(text); }

// "總共3 檔案,1 資料夾" and the like.
QString summaryLine(int files, int folders)
{
    QString line = UiString(33088);
    if (files)
        line += QString::fromStdString(FormatMessageId(33009, std::to_string(files))) + QLatin1Char(',');
    if (folders)
        line += QString::fromStdString(FormatMessageId(33008, std::to_string(folders))) + QLatin1Char(',');
    if (files || folders)
        line.chop(1);
    else
        line += QLatin1Char('0');
    return line;
}

std::string lastPart(const std::string& path)
{
    const std::string trimmed = RemoveBackslash(path);
    const size_t slash = trimmed.find_last_of('\\');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

bool isFileOnDisk(const std::string& path)
{
    struct stat status {};
    return ::stat(NativePath(path).c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool isFolderOnDisk(const std::string& path)
{
    struct stat status {};
    return ::stat(NativePath(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

bool TFTPEnumForm::beginOperation()
{
    if (m_busy) {
        ShowInformation(caption() + QStringLiteral("\r\n") + UiString(33081));
        return false;
    }
    m_busy = true;
    m_site->client().cancel = false;
    return true;
}

void TFTPEnumForm::endOperation()
{
    m_busy = false;
    if (m_closeRequested)
        close();
}

void TFTPEnumForm::showWindowForOperation()
{
    m_abort = false;
    m_wasVisible = isVisible();
    if (m_wasVisible)
        activateWindow();
    else
        show();
}

void TFTPEnumForm::restoreVisibility()
{
    if (!m_wasVisible)
        hide();
}

void TFTPEnumForm::showUploadProgress(int64_t done, int64_t total)
{
    // The percentage in 64 bits: a file over 20 MB would overflow done * 100 in 32.
    const int64_t percent = total > 0 ? done * 100 / total : 100;
    QString text = UiString(33092);
    text.replace(QStringLiteral("%3d"), QString::number(percent).rightJustified(3));
    text.replace(text.indexOf(QStringLiteral("%d")), 2, QString::number(done));
    text.replace(text.indexOf(QStringLiteral("%d")), 2, QString::number(total));
    StatusPanel0->setText(text);
}

FtpClient::Progress TFTPEnumForm::uploadProgress()
{
    // Called on the conversation's thread: at most one update of the panel every 100 ms.
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QPointer<TFTPEnumForm> window(this);
    return [clock, window](int64_t done, int64_t total) {
        if (clock->elapsed() < 100 && done != total)
            return;
        clock->restart();
        QMetaObject::invokeMethod(window, [window, done, total] {
            if (window)
                window->showUploadProgress(done, total);
        }, Qt::QueuedConnection);
    };
}

void TFTPEnumForm::DownloadFiles(const std::string& destination, const std::vector<std::string>& entries)
{
    if (!beginOperation())
        return;
    showWindowForOperation();
    std::vector<std::string> sorted(entries);
    std::sort(sorted.begin(), sorted.end(),
              [](const std::string& a, const std::string& b) { return UpperAscii(a) < UpperAscii(b); });
    int files = 0;
    for (const std::string& entry : sorted)
        files += !entry.empty() && entry[0] == '1';
    appendLog(summaryLine(files, int(sorted.size()) - files), LogTeal);
    QStringList failed;
    try {
        if (!sorted.empty()) {
            const std::string folder(FolderPart(sorted.front().substr(1)));
            const std::string remoteFolder = remote(folder);
            const FtpResult changed = run([remoteFolder](FtpSite& site) { return site.changeDir(remoteFolder); });
            logResult(FtpCommand::ChangeDir, changed);
            appendLog(UiString(33085) + qtext(folder), LogTeal);
        }
        const double now = NowDateTime();
        for (auto entry = sorted.rbegin(); entry != sorted.rend() && !m_abort; ++entry) {
            if (entry->size() < 2)
                continue;
            const std::string path = entry->substr(1);
            const std::string name = lastPart(path);
            // A name from a listing that would climb out of the destination is refused.
            const std::string local = IsPlainName(name) ? NativePath(destination + name) : std::string();
            if (local.empty()) {
                appendLog(UiText("拒絕不安全的名稱: ") + qtext(name), LogRed);
                continue;
            }
            const std::string from = remote(path);
            appendLog(UiString(33086) + qtext(destination + name), LogTeal);
            FtpResult result;
            if ((*entry)[0] == '1') {
                const int64_t size = knownSize(from);
                result = run([from, local, size](FtpSite& site) { return site.download(from, local, size, true, {}); });
                logResult(FtpCommand::Download, result);
            } else {
                QPointer<TFTPEnumForm> window(this);
                result = run([from, local, now, window](FtpSite& site) {
                    return site.downloadTree(from, local, now, [window](const std::string& line) {
                        QMetaObject::invokeMethod(window, [window, line] {
                            if (window)
                                window->appendLog(UiString(33086) + qtext(line), LogTeal);
                        }, Qt::QueuedConnection);
                    }, {});
                });
                logResult(FtpCommand::Download, result);
            }
            // One file that fails does not cost the others: it is named in red, the
            // walk goes on, and the box at the end lists what did not come.
            if (!result.ok && !result.cancelled)
                failed << logFailedFile(qtext(path), result);
        }
        restoreVisibility();
        if (!failed.isEmpty())
            throw Exception(failed.join(QStringLiteral("\r\n")).toStdString());
    } catch (const std::exception& error) {
        ShowError(caption() + QStringLiteral("\r\n") + UiString(33089) + QString::fromUtf8(error.what()));
    }
    endOperation();
}

void TFTPEnumForm::UploadFiles(const std::string& remoteFolder, const std::vector<std::string>& paths)
{
    if (!beginOperation())
        return;
    showWindowForOperation();
    int files = 0;
    for (const std::string& path : paths)
        files += isFileOnDisk(path);
    QString summary = summaryLine(files, int(paths.size()) - files);
    appendLog(summary, LogTeal);
    QStringList failed;
    try {
        const std::string folder = remote(remoteFolder);
        const FtpResult changed = run([folder](FtpSite& site) { return site.changeDir(folder); });
        logResult(FtpCommand::ChangeDir, changed);
        appendLog(UiString(33085) + qtext(remoteFolder), LogTeal);
        for (auto path = paths.rbegin(); path != paths.rend() && !m_abort; ++path) {
            const bool file = isFileOnDisk(*path);
            if (!file && !isFolderOnDisk(*path))
                continue;
            appendLog(UiString(33087) + qtext(*path), LogTeal);
            const std::string local = NativePath(*path);
            const std::string to = RemoteJoin(folder, lastPart(*path));
            const FtpClient::Progress progress = uploadProgress();
            const FtpResult result = run([file, local, to, progress](FtpSite& site) {
                return file ? site.upload(local, to, progress)
                            : site.uploadTree(local, to, [](const std::string&) {}, progress);
            });
            logResult(FtpCommand::Upload, result);
            if (!result.ok && !result.cancelled)
                failed << logFailedFile(qtext(*path), result);
        }
        restoreVisibility();
        if (!failed.isEmpty())
            throw Exception(failed.join(QStringLiteral("\r\n")).toStdString());
    } catch (const std::exception& error) {
        ShowError(caption() + QStringLiteral("\r\n") + UiString(33090) + QString::fromUtf8(error.what()));
    }
    endOperation();
}

void TFTPEnumForm::OpenRemoteFile(const std::string& remotePath)
{
    if (!beginOperation())
        return;
    try {
        const std::string name = lastPart(remotePath);
        if (!IsPlainName(name))
            throw Exception("Not Exists File or Directory " + name);
        // Each open gets a folder of its own: an earlier copy of the same name may hold
        // edits that never went back to the site.
        const std::string folder = TOpenedCopies::NewCopyFolder(NativePath(SetupInfo.TempPath));
        const std::string windowsFolder = folder.empty() ? std::string() : WindowsPath(folder);
        const std::string local = windowsFolder.empty() ? std::string() : NativePath(windowsFolder + "\\" + name);
        if (local.empty())
            throw Exception(UiText("無法在暫存資料夾建立複本：").toStdString() + SetupInfo.TempPath);
        appendLog(UiString(33086) + qtext(remotePath), LogTeal);
        const std::string from = remote(remotePath);
        // The file before the download: a save that goes back later compares with this.
        ServerStamp copied;
        const bool stamped = stampOf(from, copied);
        // The size just listed, not the one of a listing shown before someone changed it.
        if (stamped && copied.exists)
            m_stampedSizes.insert(qtext(from), {copied.size, ++m_generation});
        const int64_t size = knownSize(from);
        const FtpResult result = run([from, local, size](FtpSite& site) { return site.download(from, local, size, true, {}); });
        logResult(FtpCommand::Download, result);
        if (!result.ok)
            throw Exception(result.error);
        appendLog(UiString(33093) + qtext(remotePath), LogTeal);
        const int started = OpenLocalFile ? OpenLocalFile(local) : ShellServices::Open(local, std::string());
        if (started <= 32)
            throw Exception(FormatMessageId(33094, remotePath));
        if (!stamped)
            copied = ServerStamp{};
        if (OnCopyOpened)
            OnCopyOpened(remotePath, local, copied);
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    }
    endOperation();
}

bool TFTPEnumForm::stampOf(const std::string& from, ServerStamp& stamp)
{
    const std::string folder = RemoteParent(from);
    const std::string name = from.substr(from.find_last_of('/') + 1);
    std::vector<FtpEntry> entries;
    std::vector<std::string> refused;
    const double now = NowDateTime();
    const FtpResult listed = run([&folder, &entries, &refused, now](FtpSite& site) {
        return site.listFolder(folder, now, entries, refused);
    });
    if (!listed.ok) {
        logResult(FtpCommand::List, listed);
        return false;
    }
    stamp = ServerStamp{};
    for (const FtpEntry& entry : entries)
        if (!entry.folder && entry.name == name)
            stamp = ServerStamp{true, entry.size, UnixFromDateTime(entry.modified)};
    return true;
}

bool TFTPEnumForm::RemoteStamp(const std::string& remotePath, ServerStamp& stamp)
{
    if (!m_connected) {
        ShowError(caption() + QStringLiteral("\r\n") + UiText("站台已中斷連線，請先連線再上傳。"));
        return false;
    }
    if (!beginOperation())
        return false;
    const bool asked = stampOf(remote(remotePath), stamp);
    if (!asked)
        ShowError(caption() + QStringLiteral("\r\n") + UiText("無法讀取站台上的檔案：") + qtext(remotePath));
    endOperation();
    return asked;
}

bool TFTPEnumForm::UploadCopy(const std::string& copy, const std::string& remotePath)
{
    if (!m_connected) {
        ShowError(caption() + QStringLiteral("\r\n") + UiText("站台已中斷連線，請先連線再上傳。"));
        return false;
    }
    if (!beginOperation())
        return false;
    appendLog(UiString(33087) + qtext(remotePath), LogTeal);
    const std::string to = remote(remotePath);
    const FtpClient::Progress progress = uploadProgress();
    const FtpResult result = run([copy, to, progress](FtpSite& site) { return site.upload(copy, to, progress); });
    logResult(FtpCommand::Upload, result);
    if (!result.ok && !result.cancelled)
        ShowError(caption() + QStringLiteral("\r\n") + UiString(33090) + logFailedFile(qtext(remotePath), result));
    endOperation();
    return result.ok;
}

QString TFTPEnumForm::SiteAddress(const std::string& remotePath) const
{
    QString host = QString::fromStdString(m_block.Host);
    if (m_block.Port != 21)
        host += QLatin1Char(':') + QString::number(m_block.Port);
    return QStringLiteral("ftp://") + host + QString::fromStdString(remote(remotePath));
}

bool TFTPEnumForm::RenameRemote(const std::string& remotePath, const std::string& newName)
{
    if (!beginOperation())
        return false;
    bool sent = false;
    try {
        if (newName.empty() || newName.find_first_of("/\\") != std::string::npos)
            throw Exception(LoadStr(33024));
        appendLog(UiString(33103) + qtext(logPath(remotePath)) + QLatin1Char('-') + qtext(newName), LogTeal);
        const std::string from = remote(remotePath);
        const std::string to = RemoteJoin(RemoteParent(from), newName);
        const FtpResult result = run([from, to](FtpSite& site) { return site.rename(from, to); });
        logResult(FtpCommand::Rename, result);
        sent = result.ok;
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    }
    endOperation();
    return sent;
}

QString TFTPEnumForm::logFailedFile(const QString& path, const FtpResult& result)
{
    const QString line = path + QStringLiteral(": ") + qtext(result.error);
    appendLog(line, LogRed);
    return line;
}

bool TFTPEnumForm::DeleteRemote(const std::string& remotePath, bool folder)
{
    if (!beginOperation())
        return false;
    appendLog(UiString(33104) + qtext(logPath(remotePath)), LogTeal);
    const std::string path = remote(remotePath);
    // The caller asked the user about a folder with its contents, or about a file: a
    // file that will not go is never taken for a folder and emptied unasked.
    FtpResult result;
    if (folder) {
        const double now = NowDateTime();
        result = run([path, now](FtpSite& site) { return site.deleteTree(path, now, [](const std::string&) {}); });
    } else {
        result = run([path](FtpSite& site) { return site.deleteFile(path); });
    }
    logResult(folder ? FtpCommand::RemoveDir : FtpCommand::Delete, result);
    endOperation();
    return result.ok;
}

bool TFTPEnumForm::MakeRemoteFolder(const std::string& remotePath)
{
    if (!beginOperation())
        return false;
    appendLog(UiString(33106) + qtext(logPath(remotePath)), LogTeal);
    const std::string path = remote(remotePath);
    const FtpResult result = run([path](FtpSite& site) { return site.makeDir(path); });
    logResult(FtpCommand::MakeDir, result);
    endOperation();
    return result.ok;
}
