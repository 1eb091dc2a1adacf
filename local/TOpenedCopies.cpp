#include "local/TOpenedCopies.h"

#include "local/MessageBoxes.h"
#include "resources/UiText.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <sys/stat.h>

namespace {

QString nameOf(const std::string& path)
{
    return QFileInfo(QString::fromStdString(path)).fileName();
}

QString shownTime(int64_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

} // namespace

TOpenedCopies::TOpenedCopies(QWidget* window)
    : QObject(window), m_window(window), m_watcher(new QFileSystemWatcher(this)), m_settle(new QTimer(this))
{
    AskQuestion = [this](const QString& text) { return ShowMessageText(m_window, text, MsgQuestion) == IdYes; };
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettle);
    connect(m_settle, &QTimer::timeout, this, &TOpenedCopies::lookAtCopies);
    // Applications save in place or write a new file and rename it over the old one; the
    // second drops the watch of the file, so its folder is watched too.
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &TOpenedCopies::notified);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &TOpenedCopies::notified);
}

TOpenedCopies::~TOpenedCopies() = default;

std::string TOpenedCopies::NewCopyFolder(const std::string& tempFolder)
{
    if (tempFolder.empty())
        return {};
    std::string pattern = tempFolder;
    if (pattern.back() != '/')
        pattern += '/';
    ::mkdir(pattern.c_str(), 0700);
    pattern += kFolderPrefix;
    pattern += "XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return {};
    return pattern;
}

TOpenedCopies::CopyStamp TOpenedCopies::stampOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return {true, int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void TOpenedCopies::Watch(const std::string& copy, const ServerStamp& atCopy, Server server)
{
    const CopyStamp made = stampOf(copy);
    const std::string folder = QFileInfo(QString::fromStdString(copy)).absolutePath().toStdString();
    for (auto it = m_copies.begin(); it != m_copies.end(); ++it) {
        if (it->path == copy) {
            m_watcher->removePath(QString::fromStdString(copy));
            m_copies.erase(it);
            break;
        }
    }
    m_copies.push_back({copy, made, atCopy, std::move(server)});
    m_watcher->addPath(QString::fromStdString(folder));
    m_watcher->addPath(QString::fromStdString(copy));
}

void TOpenedCopies::notified()
{
    m_settle->start();
}

void TOpenedCopies::lookAtCopies()
{
    if (m_asking) {
        m_lookAgain = true;
        return;
    }
    for (size_t i = 0; i < m_copies.size(); ++i) {
        Copy& copy = m_copies[i];
        const CopyStamp now = stampOf(copy.path);
        // A file renamed over the copy is a new file: watch it again.
        if (now.exists && !m_watcher->files().contains(QString::fromStdString(copy.path)))
            m_watcher->addPath(QString::fromStdString(copy.path));
        // Gone (a save half done, the scratch folder cleared): nothing to offer.
        if (!now.exists || now == copy.seen)
            continue;
        copy.seen = now;
        m_asking = true;
        // The question runs its own event loop, and copies may come meanwhile: work on
        // a copy of the entry and write back what the upload learned.
        Copy asked = copy;
        offerUpload(asked);
        for (Copy& entry : m_copies)
            if (entry.path == asked.path)
                entry.server = asked.server;
        m_asking = false;
    }
    if (m_lookAgain) {
        m_lookAgain = false;
        m_settle->start();
    }
}

void TOpenedCopies::offerUpload(Copy& copy)
{
    const QString name = nameOf(copy.path);
    QString text = UiText("開啟的複本「%1」已儲存。\r\n是否上傳回伺服器，取代 %2？");
    if (!AskQuestion(text.arg(name, copy.where.shown)))
        return;
    ServerStamp now;
    if (!copy.where.stamp || !copy.where.stamp(now))
        return;
    if (!now.exists) {
        text = UiText("伺服器上已經沒有 %1（可能已被刪除或改名）。\r\n是否仍要上傳複本「%2」？");
        if (!AskQuestion(text.arg(copy.where.shown, name)))
            return;
    } else if (now != copy.server) {
        text = UiText("伺服器上的 %1 在開啟複本之後已被變更（現在 %2 位元組，修改於 %3）。\r\n"
                      "上傳會蓋掉那些變更。是否仍要上傳複本「%4」？");
        if (!AskQuestion(text.arg(copy.where.shown, QString::number(now.size), shownTime(now.modified), name)))
            return;
    }
    if (!copy.where.upload || !copy.where.upload(copy.path)) {
        status(UiText("複本「%1」沒有上傳，它仍在 %2").arg(name, QString::fromStdString(copy.path)));
        return;
    }
    // The server's file is the copy now: a later change there is someone else's again.
    ServerStamp after;
    if (copy.where.stamp(after))
        copy.server = after;
    status(UiText("已上傳複本：%1").arg(copy.where.shown));
}

void TOpenedCopies::status(const QString& text)
{
    if (OnStatus)
        OnStatus(text);
}
