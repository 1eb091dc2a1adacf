// Files of shares and FTP sites opened as copies in the scratch folder: each copy is
// watched, and a save offers to put it back where it came from, through the copy engine
// for a share and through the site window for an FTP site.
#include "mainwindow/TMainForm.h"

#include "local/MessageBoxes.h"
#include "local/TObjShell.h"
#include "local/TOpenedCopies.h"
#include "network/TFTPEnumForm.h"
#include "platform/DriveMap.h"
#include "platform/SmbFiles.h"
#include "resources/UiText.h"
#include "store/NodePaths.h"
#include "ui/TStatusBar.h"

#include <QEventLoop>
#include <QPointer>
#include <QThread>

#include <sys/stat.h>

namespace {

// What the share says of `unc` now. A share may take seconds to answer: the stat runs on a
// thread of its own (with its own SMB context) while the window goes on.
bool stampOfShareFile(const std::string& unc, ServerStamp& stamp)
{
    const std::string native = SmbNativePath(unc);
    int result = -1;
    int error = 0;
    struct stat st {};
    QThread* thread = QThread::create([&] {
        result = SmbStat(native, &st);
        error = errno;
    });
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    while (!thread->isFinished())
        loop.exec();
    delete thread;
    if (result == 0 && S_ISREG(st.st_mode))
        stamp = ServerStamp{true, int64_t(st.st_size), int64_t(st.st_mtime)};
    else
        stamp = ServerStamp{};
    // A share that cannot be reached says so at the upload, in the copy engine's words.
    return result == 0 || error == ENOENT;
}

QString openedText(const QString& where)
{
    return UiText("已開啟複本：%1，儲存後會詢問是否上傳").arg(where);
}

} // namespace

void TMainForm::connectOpenedCopies()
{
    m_openedCopies = new TOpenedCopies(this);
    m_openedCopies->OnStatus = [this](const QString& text) { StatusBar->setPanelText(1, text); };
    m_shell->OnCopyOpened = [this](const std::string& copy, const std::string& unc, const ServerStamp& copied) {
        watchShareCopy(copy, unc, copied);
    };
}

void TMainForm::watchShareCopy(const std::string& copy, const std::string& unc, const ServerStamp& copied)
{
    TOpenedCopies::Server server;
    server.shown = QString::fromStdString(unc);
    server.stamp = [unc](ServerStamp& now) { return stampOfShareFile(unc, now); };
    server.upload = [this, unc](const std::string& copyPath) {
        const std::string source = WindowsPath(copyPath);
        if (source.empty() || !m_shell)
            return false;
        // The user agreed to replace the server's file: no second question about it.
        const std::string folder(FolderPart(unc));
        return m_shell->FileOperation(FO_COPY, {source}, UiText("上傳複本"), FOF_NOCONFIRMATION, false, folder) == 0;
    };
    m_openedCopies->Watch(copy, copied, std::move(server));
    StatusBar->setPanelText(1, openedText(QString::fromStdString(unc)));
}

void TMainForm::watchFtpCopy(TFTPEnumForm* window, const std::string& remotePath, const std::string& copy,
                             const ServerStamp& copied)
{
    QPointer<TFTPEnumForm> site(window);
    const QString shown = window->SiteAddress(remotePath);
    TOpenedCopies::Server server;
    server.shown = shown;
    server.stamp = [this, site, remotePath](ServerStamp& now) {
        if (!site) {
            ShowError(UiText("站台已中斷連線，請先連線再上傳。"));
            return false;
        }
        return site->RemoteStamp(remotePath, now);
    };
    server.upload = [this, site, remotePath](const std::string& copyPath) {
        if (!site) {
            ShowError(UiText("站台已中斷連線，請先連線再上傳。"));
            return false;
        }
        return site->UploadCopy(copyPath, remotePath);
    };
    m_openedCopies->Watch(copy, copied, std::move(server));
    StatusBar->setPanelText(1, openedText(shown));
}
