#include "local/FileOperationEngine.h"

#include "local/FileOperationPaths.h"

#include "platform/NativeFiles.h"
#include "platform/SmbFiles.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Text put before the extension of a copy made in its own folder ("a - 複本.txt").
constexpr int kStrCopySuffix = 44001;
// Prefix of the hidden temporary names of files being copied.
constexpr const char* kPartPrefix = ".tamsel-part-";
// Attempts to find a free temporary or copy name.
constexpr int kMaxNameAttempts = 1000;

FileOpEntry entryOf(const std::string& path, const struct stat& st)
{
    FileOpEntry entry;
    entry.path = path;
    entry.size = S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0;
    entry.modified = st.st_mtime;
    entry.isFolder = S_ISDIR(st.st_mode);
    return entry;
}

std::string randomTag()
{
    static thread_local std::mt19937 generator{std::random_device{}()};
    static const char* digits = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string tag;
    for (int i = 0; i < 8; ++i)
        tag += digits[generator() % 36];
    return tag;
}

// The process's umask, read without changing it (umask() would, for every thread at once).
mode_t processUmask()
{
    std::FILE* status = std::fopen("/proc/self/status", "re");
    unsigned mask = 022;
    if (status) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &mask) == 1)
                break;
        std::fclose(status);
    }
    return mode_t(mask & 0777);
}

// The mode a copy gets. A share's modes are made up from DOS attributes (archive reads as
// u+x, hidden as o+x): what comes from one is never executable, it gets what a new file or
// folder of the user's would.
mode_t copyMode(const std::string& source, const struct stat& st)
{
    if (!IsSmbNative(source))
        return st.st_mode & 07777;
    return (S_ISDIR(st.st_mode) ? 0777 : 0666) & ~processUmask();
}

} // namespace

std::vector<std::string> FileOperationEngine::SplitSourceList(const char* block, size_t size)
{
    std::vector<std::string> paths;
    size_t start = 0;
    while (start < size && block[start] != '\0') {
        size_t end = start;
        while (end < size && block[end] != '\0')
            ++end;
        paths.emplace_back(block + start, end - start);
        start = end + 1;
    }
    return paths;
}

std::string FileOperationEngine::MakeSourceList(const std::vector<std::string>& paths)
{
    std::string block;
    for (const std::string& path : paths) {
        block += path;
        block += '\0';
    }
    block += '\0';
    return block;
}

FileOperationOutcome FileOperationEngine::Run(uint32_t operation, const std::vector<std::string>& sources,
                                              const std::string& destination, uint16_t flags)
{
    m_flags = flags;
    m_doneBytes = 0;
    m_yesToAll = (flags & FOF_NOCONFIRMATION) != 0;
    m_noToAll = false;
    m_outcome = FileOperationOutcome();
    try {
        if (sources.empty())
            failWith(Win32::InvalidParameter, {});
        switch (operation) {
        case FO_COPY:
        case FO_MOVE: {
            // A target folder that is not there yet is made, as the callers expect when
            // they drop entries into a folder of their own.
            struct stat st;
            if (fsLstat(destination, &st) != 0 && errno == ENOENT && !fsMakePath(destination))
                failErrno(destination);
            if (IsSmbNative(destination) ? SmbStat(destination, &st) != 0 : stat(destination.c_str(), &st) != 0)
                failErrno(destination);
            if (!S_ISDIR(st.st_mode))
                failWith(Win32::PathNotFound, destination);
            uint64_t bytes = 0;
            uint64_t entries = 0;
            for (const std::string& source : sources)
                scan(source, bytes, entries);
            m_ui.begin(operation, bytes, entries);
            for (const std::string& source : sources) {
                checkpoint();
                std::string target = NativeJoin(destination, NativeBaseName(source));
                if (operation == FO_COPY) {
                    if (target == source)
                        target = copyNameInSameFolder(source);
                    copyInto(source, target, false);
                } else if (target != source) {
                    const bool fresh = !fsExists(target);
                    moveEntry(source, target);
                    if (fresh)
                        m_outcome.moved.emplace_back(source, target);
                }
            }
            break;
        }
        case FO_DELETE:
            doDelete(sources, (flags & FOF_ALLOWUNDO) != 0);
            break;
        case FO_RENAME:
            m_ui.begin(operation, 0, 1);
            doRename(sources.front(), destination);
            if (destination != sources.front())
                m_outcome.moved.emplace_back(sources.front(), destination);
            break;
        default:
            failWith(Win32::InvalidFunction, {});
        }
    } catch (const Stop&) {
    }
    m_ui.end();
    return m_outcome;
}

void FileOperationEngine::checkpoint()
{
    if (m_ui.cancelled()) {
        m_outcome.aborted = true;
        failWith(Win32::Cancelled, {});
    }
}

void FileOperationEngine::failWith(int code, const std::string& path)
{
    m_outcome.code = code;
    m_outcome.failedPath = path;
    throw Stop();
}

void FileOperationEngine::failErrno(const std::string& path)
{
    failWith(IsSmbNative(path) ? SmbError(errno, path) : Win32ErrorFromErrno(errno), path);
}

void FileOperationEngine::scan(const std::string& path, uint64_t& bytes, uint64_t& entries)
{
    checkpoint();
    struct stat st;
    if (fsLstat(path, &st) != 0)
        failErrno(path);
    ++entries;
    if (S_ISREG(st.st_mode))
        bytes += uint64_t(st.st_size);
    if (!S_ISDIR(st.st_mode))
        return;
    int err = 0;
    for (const std::string& name : listNames(path, &err))
        scan(NativeJoin(path, name), bytes, entries);
    if (err) {
        errno = err;
        failErrno(path);
    }
}

std::string FileOperationEngine::copyNameInSameFolder(const std::string& source)
{
    const std::string folder = NativeDirName(source);
    const std::string name = NativeBaseName(source);
    struct stat st;
    const bool isFile = fsLstat(source, &st) == 0 && !S_ISDIR(st.st_mode);
    const size_t dot = isFile ? name.rfind('.') : std::string::npos;
    const std::string stem = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
    const std::string ext = (dot == std::string::npos || dot == 0) ? std::string() : name.substr(dot);
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        std::string candidate = stem + LoadStr(kStrCopySuffix);
        if (attempt > 1)
            candidate += " (" + std::to_string(attempt) + ")";
        candidate = NativeJoin(folder, candidate + ext);
        if (!fsExists(candidate))
            return candidate;
    }
    failWith(FileOpSameFile, source);
}

bool FileOperationEngine::resolveConflict(const std::string& source, const std::string& target)
{
    struct stat existing;
    if (fsLstat(target, &existing) != 0)
        return true;
    if (m_yesToAll)
        return true;
    if (m_noToAll)
        return false;
    struct stat incoming;
    if (fsLstat(source, &incoming) != 0)
        failErrno(source);
    switch (m_ui.askOverwrite(entryOf(target, existing), entryOf(source, incoming))) {
    case OverwriteAnswer::YesToAll:
        m_yesToAll = true;
        return true;
    case OverwriteAnswer::Yes:
        return true;
    case OverwriteAnswer::NoToAll:
        m_noToAll = true;
        return false;
    case OverwriteAnswer::No:
        return false;
    case OverwriteAnswer::Cancel:
        break;
    }
    m_outcome.aborted = true;
    failWith(Win32::Cancelled, {});
}

void FileOperationEngine::copyInto(const std::string& source, const std::string& target, bool move)
{
    checkpoint();
    struct stat st;
    if (fsLstat(source, &st) != 0)
        failErrno(source);
    if (S_ISDIR(st.st_mode)) {
        if (NativeIsSameOrBelow(target, source))
            failWith(FileOpDestinationInside, source);
        copyFolder(source, target, move);
    } else {
        copyFile(source, target, move);
    }
}

void FileOperationEngine::copyFolder(const std::string& source, const std::string& target, bool move)
{
    struct stat st;
    if (fsLstat(source, &st) != 0)
        failErrno(source);
    struct stat existing;
    if (fsLstat(target, &existing) == 0) {
        // Folders merge; a file in the way of a folder is an error, never replaced.
        if (!S_ISDIR(existing.st_mode))
            failWith(Win32::AlreadyExists, target);
    } else if (fsMkdir(target, copyMode(source, st) | S_IRWXU) != 0) {
        failErrno(target);
    }
    m_ui.progress(m_doneBytes, source);
    int err = 0;
    const std::vector<std::string> names = listNames(source, &err);
    if (err) {
        errno = err;
        failErrno(source);
    }
    for (const std::string& name : names)
        copyInto(NativeJoin(source, name), NativeJoin(target, name), move);
    if (IsSmbNative(target)) {
        SmbSetModified(target, st.st_mtime);
    } else {
        chmod(target.c_str(), copyMode(source, st));
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        utimensat(AT_FDCWD, target.c_str(), times, 0);
    }
    // A moved folder goes only when everything in it went: skipped entries keep it.
    if (move && fsRmdir(source) != 0 && errno != ENOTEMPTY && errno != EEXIST)
        failErrno(source);
}

bool FileOperationEngine::copyFile(const std::string& source, const std::string& target, bool move)
{
    if (!resolveConflict(source, target)) {
        struct stat st;
        if (fsLstat(source, &st) == 0 && S_ISREG(st.st_mode))
            m_doneBytes += uint64_t(st.st_size);
        m_ui.progress(m_doneBytes, source);
        return false;
    }
    struct stat existing;
    if (fsLstat(target, &existing) == 0 && S_ISDIR(existing.st_mode))
        failWith(Win32::AlreadyExists, target);
    writeFileAtomically(source, target, move);
    if (move && fsUnlink(source) != 0)
        failErrno(source);
    return true;
}

void FileOperationEngine::writeFileAtomically(const std::string& source, const std::string& target,
                                              bool durable)
{
    struct stat st;
    if (fsLstat(source, &st) != 0)
        failErrno(source);
    const std::string folder = NativeDirName(target);
    std::string temp;
    for (int attempt = 0; attempt < kMaxNameAttempts && temp.empty(); ++attempt) {
        const std::string candidate = NativeJoin(folder, kPartPrefix + randomTag());
        if (!fsExists(candidate))
            temp = candidate;
    }
    if (temp.empty())
        failWith(Win32::FileExists, target);

    if (S_ISLNK(st.st_mode) && IsSmbNative(temp)) {
        failWith(Win32::NotSupported, source);  // a share holds no links
    } else if (S_ISLNK(st.st_mode)) {
        std::string link(size_t(st.st_size) + 1, '\0');
        const ssize_t got = readlink(source.c_str(), link.data(), link.size());
        if (got < 0)
            failErrno(source);
        link.resize(size_t(got));
        if (symlink(link.c_str(), temp.c_str()) != 0)
            failErrno(target);
    } else if (S_ISREG(st.st_mode)) {
        CopyEnd in;
        CopyEnd out;
        int code = 0;
        if (!in.open(source, false, &code))
            failWith(code, source);
        if (!out.open(temp, true, &code))
            failWith(code, target);
        std::vector<char> buffer(kCopyChunk);
        auto abandon = [&](int code, const std::string& path, bool aborted) {
            out.close();
            fsUnlink(temp);
            m_outcome.aborted = aborted;
            failWith(code, path);
        };
        for (;;) {
            if (m_ui.cancelled())
                abandon(Win32::Cancelled, {}, true);
            const ssize_t got = in.read(buffer.data(), buffer.size(), &code);
            if (got < 0)
                abandon(code, source, false);
            if (got == 0)
                break;
            if (!out.write(buffer.data(), size_t(got), &code))
                abandon(code, target, false);
            m_doneBytes += uint64_t(got);
            m_ui.progress(m_doneBytes, source);
        }
        if (out.fd() >= 0) {
            fchmod(out.fd(), copyMode(source, st));
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            futimens(out.fd(), times);
            // A move deletes its source next: the copy must be on the disk first.
            if (durable && fsync(out.fd()) != 0)
                abandon(Win32ErrorFromErrno(errno), target, false);
        }
        if (!out.close())
            abandon(Win32ErrorFromErrno(errno), target, false);
        if (IsSmbNative(temp))
            SmbSetModified(temp, st.st_mtime);
    } else if (S_ISFIFO(st.st_mode) && !IsSmbNative(temp)) {
        if (mkfifo(temp.c_str(), st.st_mode & 07777) != 0)
            failErrno(target);
    } else {
        failWith(Win32::NotSupported, source);
    }
    if (fsRename(temp, target) != 0) {
        const int err = errno;
        fsUnlink(temp);
        errno = err;
        failErrno(target);
    }
}

void FileOperationEngine::moveEntry(const std::string& source, const std::string& target)
{
    checkpoint();
    struct stat st;
    if (fsLstat(source, &st) != 0)
        failErrno(source);
    const bool isFolder = S_ISDIR(st.st_mode);
    if (isFolder && NativeIsSameOrBelow(target, source))
        failWith(FileOpDestinationInside, source);

    struct stat existing;
    if (fsLstat(target, &existing) == 0) {
        if (isFolder != S_ISDIR(existing.st_mode))
            failWith(Win32::AlreadyExists, target);
        if (isFolder) {
            // Merge into the folder that is there, entry by entry.
            int err = 0;
            const std::vector<std::string> names = listNames(source, &err);
            if (err) {
                errno = err;
                failErrno(source);
            }
            for (const std::string& name : names)
                moveEntry(NativeJoin(source, name), NativeJoin(target, name));
            if (fsRmdir(source) != 0 && errno != ENOTEMPTY && errno != EEXIST)
                failErrno(source);
            return;
        }
        if (!resolveConflict(source, target)) {
            m_doneBytes += S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0;
            m_ui.progress(m_doneBytes, source);
            return;
        }
    }
    if (fsRename(source, target) == 0) {
        if (S_ISREG(st.st_mode))
            m_doneBytes += uint64_t(st.st_size);
        m_ui.progress(m_doneBytes, source);
        return;
    }
    if (errno != EXDEV)
        failErrno(source);
    // Another volume: copy, and delete each source entry only once its copy is complete.
    if (isFolder) {
        copyFolder(source, target, true);
    } else {
        writeFileAtomically(source, target, true);
        if (fsUnlink(source) != 0)
            failErrno(source);
    }
}

void FileOperationEngine::doDelete(const std::vector<std::string>& sources, bool toTrash)
{
    for (const std::string& source : sources) {
        struct stat st;
        if (fsLstat(source, &st) != 0)
            failErrno(source);
    }
    // A share has no trash: the question says what really happens to its entries.
    const bool anyOnShare = std::any_of(sources.begin(), sources.end(), IsSmbNative);
    if (!(m_flags & FOF_NOCONFIRMATION) && !m_ui.confirmDelete(sources, toTrash && !anyOnShare)) {
        m_outcome.aborted = true;
        failWith(Win32::Cancelled, {});
    }
    m_ui.begin(FO_DELETE, 0, sources.size());
    for (const std::string& source : sources) {
        checkpoint();
        m_ui.progress(0, source);
        int error = 0;
        // A share has no trash: its entries go for good, as they do from network drives.
        if (toTrash && !IsSmbNative(source)) {
            TrashItem item;
            if (MoveToTrash(source, &item, &error)) {
                m_outcome.trashed.push_back(item);
                continue;
            }
            // A volume with no trash that can be made (read-only top folder, no room for
            // one): the entry may still go for good, but only after that question.
            if (error == Win32::FileNotFound || error == Win32::PathNotFound)
                failWith(error, source);
            if (!m_ui.confirmDelete({source}, false)) {
                m_outcome.aborted = true;
                failWith(Win32::Cancelled, {});
            }
            if (!fsRemoveTree(source, &error))
                failWith(error, source);
        } else if (!fsRemoveTree(source, &error)) {
            failWith(error, source);
        }
    }
}

void FileOperationEngine::doRename(const std::string& source, const std::string& target)
{
    struct stat st;
    if (fsLstat(source, &st) != 0)
        failErrno(source);
    if (target == source)
        return;
    if (IsSmbNative(source) || IsSmbNative(target)) {
        if (shareOf(source) != shareOf(target))
            failWith(Win32::NotSameDevice, target);
        if (SmbRename(source, target, false) != 0) {
            if (errno == EEXIST)
                failWith(Win32::AlreadyExists, target);
            failWith(SmbError(errno, source), source);
        }
        return;
    }
    // A volume that ignores case (vfat, exfat) finds the entry itself under the new name:
    // a change of case only goes through a temporary name.
    if (sameEntry(source, target)) {
        renameCaseOnly(source, target);
        return;
    }
    // Never replace: a rename onto an existing name fails and keeps the old name.
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return;
    if (errno == EEXIST)
        failWith(Win32::AlreadyExists, target);
    if (errno != EINVAL && errno != ENOSYS)
        failErrno(source);
    // The file system cannot refuse a replacement atomically: check, then rename.
    if (NativeExists(target))
        failWith(Win32::AlreadyExists, target);
    if (rename(source.c_str(), target.c_str()) != 0)
        failErrno(source);
}

bool FileOperationEngine::sameEntry(const std::string& source, const std::string& target)
{
    // Two hard links of one file are two entries: only a file with one link, or a folder,
    // found under both names is one entry named without regard to case.
    struct stat from;
    struct stat to;
    return NativeDirName(source) == NativeDirName(target) && lstat(source.c_str(), &from) == 0
        && lstat(target.c_str(), &to) == 0 && from.st_dev == to.st_dev && from.st_ino == to.st_ino
        && (S_ISDIR(from.st_mode) || from.st_nlink == 1);
}

void FileOperationEngine::renameCaseOnly(const std::string& source, const std::string& target)
{
    std::string temporary;
    for (int attempt = 0; temporary.empty() || NativeExists(temporary); ++attempt)
        temporary = NativeJoin(NativeDirName(source), ".tamsel-rename-" + std::to_string(getpid()) + "-"
                                                         + std::to_string(attempt));
    if (rename(source.c_str(), temporary.c_str()) != 0)
        failErrno(source);
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        // The entry keeps its old name rather than the temporary one.
        rename(temporary.c_str(), source.c_str());
        errno = error;
        failErrno(source);
    }
}
