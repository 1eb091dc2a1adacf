// The file operations of a connected site window: download, upload, open, rename, delete
// and new folder, each holding the window's busy flag for its whole run. Each is one job of
// the conversation: the window checks and asks first, the job runs the commands and logs
// them, and the window shows the result it hands back.
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

// A transfer of several files: the lines of those that did not come (each also in red in
// the log). ok says the job ran to its end.
struct TransferDone : FtpResult {
    QStringList failed;
};

FtpResult done()
{
    FtpResult result;
    result.ok = true;
    return result;
}

// A download of the entries ("1" + file path, "2" + folder path, sorted) into the local
// folder `destination`: the last first, each entry that fails named and passed by, until
// the user stops it.
TransferDone downloadJob(FtpSession& session, const std::vector<std::string>& sorted, const std::string& destination,
                         double now)
{
    TransferDone transfer;
    if (!sorted.empty()) {
        const std::string folder(FolderPart(sorted.front().substr(1)));
        session.log.addResult(FtpCommand::ChangeDir, session.site.changeDir(FtpPathFromSite(folder)));
        session.log.add(UiString(33085) + qtext(folder), FtpLog::Teal);
    }
    for (auto entry = sorted.rbegin(); entry != sorted.rend() && !session.stopped(); ++entry) {
        if (entry->size() < 2)
            continue;
        const std::string path = entry->substr(1);
        const std::string name = lastPart(path);
        // A name from a listing that would climb out of the destination is refused.
        const std::string local = IsPlainName(name) ? NativePath(destination + name) : std::string();
        if (local.empty()) {
            session.log.add(UiText("拒絕不安全的名稱: ") + qtext(name), FtpLog::Red);
            continue;
        }
        const std::string from = FtpPathFromSite(path);
        session.log.add(UiString(33086) + qtext(destination + name), FtpLog::Teal);
        FtpResult result;
        if ((*entry)[0] == '1') {
            result = session.site.download(from, local, session.book.knownSize(from), true, {});
        } else {
            result = session.site.downloadTree(from, local, now, [&session](const std::string& line) {
                session.log.add(UiString(33086) + qtext(line), FtpLog::Teal);
            }, {});
        }
        session.log.addResult(FtpCommand::Download, result);
        // One file that fails does not cost the others: it is named in red, the walk goes
        // on, and the box at the end lists what did not come.
        if (!result.ok && !result.cancelled)
            transfer.failed << session.log.addFailedFile(qtext(path), result);
    }
    static_cast<FtpResult&>(transfer) = done();
    return transfer;
}

// An upload of the local files and folders `paths` into the site's folder `folder` ("/a").
TransferDone uploadJob(FtpSession& session, const std::vector<std::string>& paths, const std::string& folder,
                       const std::string& siteFolder, const FtpClient::Progress& progress)
{
    TransferDone transfer;
    session.log.addResult(FtpCommand::ChangeDir, session.site.changeDir(folder));
    session.log.add(UiString(33085) + qtext(siteFolder), FtpLog::Teal);
    for (auto path = paths.rbegin(); path != paths.rend() && !session.stopped(); ++path) {
        const bool file = isFileOnDisk(*path);
        if (!file && !isFolderOnDisk(*path))
            continue;
        session.log.add(UiString(33087) + qtext(*path), FtpLog::Teal);
        const std::string local = NativePath(*path);
        const std::string to = RemoteJoin(folder, lastPart(*path));
        const FtpResult result = file ? session.site.upload(local, to, progress)
                                      : session.site.uploadTree(local, to, [](const std::string&) {}, progress);
        session.log.addResult(FtpCommand::Upload, result);
        if (!result.ok && !result.cancelled)
            transfer.failed << session.log.addFailedFile(qtext(*path), result);
    }
    static_cast<FtpResult&>(transfer) = done();
    return transfer;
}

// A download of one file to open: what the site says of the file first (a save that goes
// back later compares with it), then the file.
struct OpenedDownload : FtpResult {
    bool stamped = false;
    ServerStamp copied;
};

// One command whose lines are its outcome's.
template <class Command>
FtpResult logged(FtpSession& session, FtpCommand command, Command&& run)
{
    const FtpResult result = run();
    session.log.addResult(command, result);
    return result;
}

} // namespace

bool TFTPEnumForm::beginOperation()
{
    if (m_busy) {
        ShowInformation(caption() + QStringLiteral("\r\n") + UiString(33081));
        return false;
    }
    m_busy = true;
    m_conversation->resume();
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
    appendLog(summaryLine(files, int(sorted.size()) - files), FtpLog::Teal);
    try {
        const double now = NowDateTime();
        const TransferDone transfer = perform([sorted, destination, now](FtpSession& session) {
            return downloadJob(session, sorted, destination, now);
        });
        restoreVisibility();
        if (!transfer.ok)
            throw Exception(transfer.error);
        if (!transfer.failed.isEmpty())
            throw Exception(transfer.failed.join(QStringLiteral("\r\n")).toStdString());
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
    appendLog(summary, FtpLog::Teal);
    try {
        const std::string folder = remote(remoteFolder);
        const TransferDone transfer = perform([paths, folder, remoteFolder, progress = uploadProgress()](FtpSession& session) {
            return uploadJob(session, paths, folder, remoteFolder, progress);
        });
        restoreVisibility();
        if (!transfer.ok)
            throw Exception(transfer.error);
        if (!transfer.failed.isEmpty())
            throw Exception(transfer.failed.join(QStringLiteral("\r\n")).toStdString());
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
        appendLog(UiString(33086) + qtext(remotePath), FtpLog::Teal);
        const std::string from = remote(remotePath);
        const double now = NowDateTime();
        const OpenedDownload result = perform([from, local, now](FtpSession& session) {
            OpenedDownload opened;
            opened.stamped = session.stampOf(from, now, opened.copied);
            // The size just listed, not the one of a listing shown before someone changed it.
            if (opened.stamped && opened.copied.exists)
                session.book.noteSize(from, opened.copied.size);
            static_cast<FtpResult&>(opened) = logged(session, FtpCommand::Download, [&] {
                return session.site.download(from, local, session.book.knownSize(from), true, {});
            });
            return opened;
        });
        if (!result.ok)
            throw Exception(result.error);
        ServerStamp copied = result.copied;
        const bool stamped = result.stamped;
        appendLog(UiString(33093) + qtext(remotePath), FtpLog::Teal);
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

bool TFTPEnumForm::RemoteStamp(const std::string& remotePath, ServerStamp& stamp)
{
    if (!m_connected) {
        ShowError(caption() + QStringLiteral("\r\n") + UiText("站台已中斷連線，請先連線再上傳。"));
        return false;
    }
    if (!beginOperation())
        return false;
    const std::string from = remote(remotePath);
    const double now = NowDateTime();
    struct Stamped : FtpResult {
        ServerStamp stamp;
    };
    const Stamped asked = perform([from, now](FtpSession& session) {
        Stamped stamped;
        stamped.ok = session.stampOf(from, now, stamped.stamp);
        return stamped;
    });
    if (asked.ok)
        stamp = asked.stamp;
    if (!asked.ok)
        ShowError(caption() + QStringLiteral("\r\n") + UiText("無法讀取站台上的檔案：") + qtext(remotePath));
    endOperation();
    return asked.ok;
}

bool TFTPEnumForm::UploadCopy(const std::string& copy, const std::string& remotePath)
{
    if (!m_connected) {
        ShowError(caption() + QStringLiteral("\r\n") + UiText("站台已中斷連線，請先連線再上傳。"));
        return false;
    }
    if (!beginOperation())
        return false;
    appendLog(UiString(33087) + qtext(remotePath), FtpLog::Teal);
    const std::string to = remote(remotePath);
    struct Uploaded : FtpResult {
        QString failedLine;
    };
    const Uploaded result = perform([copy, to, remotePath, progress = uploadProgress()](FtpSession& session) {
        Uploaded uploaded;
        static_cast<FtpResult&>(uploaded) =
            logged(session, FtpCommand::Upload, [&] { return session.site.upload(copy, to, progress); });
        if (!uploaded.ok && !uploaded.cancelled)
            uploaded.failedLine = session.log.addFailedFile(qtext(remotePath), uploaded);
        return uploaded;
    });
    if (!result.ok && !result.cancelled)
        ShowError(caption() + QStringLiteral("\r\n") + UiString(33090) + result.failedLine);
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
        appendLog(UiString(33103) + qtext(logPath(remotePath)) + QLatin1Char('-') + qtext(newName), FtpLog::Teal);
        const std::string from = remote(remotePath);
        const std::string to = RemoteJoin(RemoteParent(from), newName);
        const FtpResult result = perform([from, to](FtpSession& session) {
            return logged(session, FtpCommand::Rename, [&] { return session.site.rename(from, to); });
        });
        sent = result.ok;
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    }
    endOperation();
    return sent;
}

bool TFTPEnumForm::DeleteRemote(const std::string& remotePath, bool folder)
{
    if (!beginOperation())
        return false;
    appendLog(UiString(33104) + qtext(logPath(remotePath)), FtpLog::Teal);
    const std::string path = remote(remotePath);
    // The caller asked the user about a folder with its contents, or about a file: a
    // file that will not go is never taken for a folder and emptied unasked.
    const double now = NowDateTime();
    const FtpResult result = perform([path, folder, now](FtpSession& session) {
        return logged(session, folder ? FtpCommand::RemoveDir : FtpCommand::Delete, [&] {
            return folder ? session.site.deleteTree(path, now, [](const std::string&) {}) : session.site.deleteFile(path);
        });
    });
    endOperation();
    return result.ok;
}

bool TFTPEnumForm::MakeRemoteFolder(const std::string& remotePath)
{
    if (!beginOperation())
        return false;
    appendLog(UiString(33106) + qtext(logPath(remotePath)), FtpLog::Teal);
    const std::string path = remote(remotePath);
    const FtpResult result = perform([path](FtpSession& session) {
        return logged(session, FtpCommand::MakeDir, [&] { return session.site.makeDir(path); });
    });
    endOperation();
    return result.ok;
}
