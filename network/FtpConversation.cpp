#include "network/FtpConversation.h"

#include "local/TOpenedCopies.h"
#include "platform/DateTime.h"
#include "platform/ThreadGuard.h"

#include <QPointer>
#include <QThread>

bool FtpSession::stampOf(const std::string& remotePath, double now, ServerStamp& stamp)
{
    const std::string folder = RemoteParent(remotePath);
    const std::string name = remotePath.substr(remotePath.find_last_of('/') + 1);
    std::vector<FtpEntry> entries;
    std::vector<std::string> refused;
    const FtpResult listed = site.listFolder(folder, now, entries, refused);
    if (!listed.ok) {
        log.addResult(FtpCommand::List, listed);
        return false;
    }
    stamp = ServerStamp{};
    for (const FtpEntry& entry : entries)
        if (!entry.folder && entry.name == name)
            stamp = ServerStamp{true, entry.size, UnixFromDateTime(entry.modified)};
    return true;
}

FtpConversation::FtpConversation()
    : m_thread(std::make_unique<QThread>())
    , m_context(new QObject)
{
    m_context->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_context, &QObject::deleteLater);
    m_thread->start();
    // The book is the thread's from its first job on.
    QMetaObject::invokeMethod(m_context, [this] { m_book.claim(); }, Qt::QueuedConnection);
}

FtpConversation::~FtpConversation()
{
    cancel();
    m_thread->quit();
    m_thread->wait();
}

void FtpConversation::post(Job job, std::function<void(const std::string&)> failed, QObject* receiver,
                           std::function<void()> done)
{
    QPointer<QObject> answer(receiver);
    QMetaObject::invokeMethod(m_context, [this, job = std::move(job), failed = std::move(failed), answer,
                                          done = std::move(done)] {
        RunGuarded([&] { job(m_session); }, failed);
        if (answer && done)
            QMetaObject::invokeMethod(answer, done, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}
