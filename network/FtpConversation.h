#pragma once
#include "network/FtpListingBook.h"
#include "network/FtpLog.h"
#include "network/FtpSite.h"

#include <functional>
#include <memory>
#include <string>

class QObject;
class QThread;
struct ServerStamp;

/// What a job of the conversation works with, all of it on the conversation's thread.
struct FtpSession {
    FtpSite& site;
    FtpListingBook& book;
    FtpLog& log;

    /// The user stopped the conversation (a Stop, a close): a job with more to do ends.
    bool stopped() { return site.client().cancel.load(); }
    /// The file `remotePath` ("/a/b") as its folder's listing gives it now; false when the
    /// listing failed (logged).
    bool stampOf(const std::string& remotePath, double now, ServerStamp& stamp);
};

// The conversation with one FTP site, on a thread of its own: the client, what the site's
// listings said (the listing book) and the lines of the log. A job is a straight run of
// blocking commands, each bounded by the client's time-out and ended at once by cancel();
// its result goes back by value to the object that posted it, through that object's event
// queue. Jobs run one after the other in the order they were posted.
class FtpConversation {
public:
    using Job = std::function<void(FtpSession&)>;

    FtpConversation();
    /// Stops the command in flight and waits for the thread: nothing of the conversation
    /// outlives it.
    ~FtpConversation();
    FtpConversation(const FtpConversation&) = delete;
    FtpConversation& operator=(const FtpConversation&) = delete;

    /// Runs `job` on the conversation's thread, `failed` in its place with the text of an
    /// exception it let out; then calls `done` on `receiver`'s thread, unless `receiver` is
    /// gone by then (or none was given).
    void post(Job job, std::function<void(const std::string&)> failed, QObject* receiver, std::function<void()> done);

    /// Ends the command in flight and makes the job's later commands end at once, until
    /// resume(). Any thread.
    void cancel() { m_site.client().cancel = true; }
    void resume() { m_site.client().cancel = false; }
    bool cancelled() { return m_site.client().cancel.load(); }

    /// The log the jobs write; the window takes its lines.
    FtpLog& log() { return m_log; }

private:
    FtpSite m_site;
    FtpListingBook m_book;
    FtpLog m_log;
    FtpSession m_session{m_site, m_book, m_log};
    std::unique_ptr<QThread> m_thread;
    QObject* m_context = nullptr;
};
