#include "local/TObjWatchDisk.h"

#include "platform/DriveMap.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// Name changes only: creation, deletion and renames, and the folder itself going away.
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF
                                | IN_MOVE_SELF | IN_ONLYDIR;
// Room for many events per read; one read drains a burst.
constexpr size_t kEventBuffer = 64 * 1024;

} // namespace

TObjWatchDisk::TObjWatchDisk(const std::string& path, bool subtree, uint32_t filter)
    : m_path(path), m_subtree(subtree), m_filter(filter)
{
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_inotifyFd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    const std::string native = NativePath(path);
    if (m_wakeFd >= 0 && m_inotifyFd >= 0 && !native.empty())
        m_rootWatch = addWatch(native);
    // Everything the thread reads is in place: start it.
    Resume();
}

TObjWatchDisk::~TObjWatchDisk()
{
    if (isRunning()) {
        Terminate();
        Wake();
        wait();
    }
    if (m_inotifyFd >= 0)
        close(m_inotifyFd);
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

void TObjWatchDisk::Wake()
{
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        (void)!write(m_wakeFd, &one, sizeof one);
    }
}

int TObjWatchDisk::addWatch(const std::string& nativePath)
{
    return inotify_add_watch(m_inotifyFd, nativePath.c_str(), kWatchMask);
}

bool TObjWatchDisk::AddFolder(const std::string& path)
{
    if (m_inotifyFd < 0 || m_folders.count(path))
        return m_folders.count(path) != 0;
    const std::string native = NativePath(path);
    if (native.empty())
        return false;
    const int watch = addWatch(native);
    if (watch < 0)
        return false;
    m_folders[path] = watch;
    return true;
}

void TObjWatchDisk::RemoveFolder(const std::string& path)
{
    const auto it = m_folders.find(path);
    if (it == m_folders.end())
        return;
    // The same folder may be the root's watch too (inotify hands out one id per inode).
    if (it->second != m_rootWatch)
        inotify_rm_watch(m_inotifyFd, it->second);
    m_folders.erase(it);
}

bool TObjWatchDisk::readChanges()
{
    alignas(inotify_event) char buffer[kEventBuffer];
    bool changed = false;
    for (;;) {
        const ssize_t got = read(m_inotifyFd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t offset = 0; offset < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_IGNORED)
                continue;
            if (event->mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF))
                changed = true;
            else if (event->mask & IN_ISDIR)
                changed = changed || (m_filter & ChangeDirName);
            else
                changed = changed || (m_filter & ChangeFileName);
        }
    }
    return changed;
}

void TObjWatchDisk::Execute()
{
    if (m_rootWatch < 0)
        return;  // the folder cannot be watched: end silently
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_inotifyFd, POLLIN, 0}};
    for (;;) {
        if (Terminated())
            break;
        // A look without waiting first: only when nothing is unread does the watcher count
        // as caught up, so its count of waits says that earlier changes were dealt with.
        int ready = poll(fds, 2, 0);
        if (ready == 0) {
            m_waits.fetch_add(1, std::memory_order_acq_rel);
            m_waiting.store(true, std::memory_order_release);
            ready = poll(fds, 2, -1);
            m_waiting.store(false, std::memory_order_release);
        }
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        if (!(fds[1].revents & POLLIN))
            continue;
        if (!readChanges())
            continue;
        SynchronizeUnlessStopped([this] {
            InHandler = true;
            if (OnChange)
                OnChange();
            InHandler = false;
        });
    }
}
