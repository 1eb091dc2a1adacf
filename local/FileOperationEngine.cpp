#include "local/FileOperationEngine.h"

#include "platform/NativeFiles.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"

#include <algorithm>
#include <random>

namespace {

// Text put before the extension of a copy made in its own folder ("a - 複本.txt").
constexpr int kStrCopySuffix = 44001;
// Prefix of the hidden temporary names of files being copied.
constexpr const char* kPartPrefix = ".tamsel-part-";
// Attempts to find a free temporary or copy name.
constexpr int kMaxNameAttempts = 1000;

FileOpEntry entryOf(const std::string& path, const FileStatus& st)
{
    FileOpEntry entry;
    entry.path = path;
    entry.size = st.isFile() ? st.size : 0;
    entry.modified = st.modified.tv_sec;
    entry.isFolder = st.isFolder();
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

// The mode a copy gets. What comes from a file system whose modes are made up (a share's,
// from DOS attributes) is never executable: it gets what a new file or folder of the
// user's would.
unsigned copyMode(const FileSystem& sourceFs, const FileStatus& st)
{
    return sourceFs.keepsModes() ? st.mode : NewEntryMode(st.isFolder());
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
            FileSystem& targetFs = fs(destination);
            FileStatus st;
            if (targetFs.status(destination, &st) == Win32::FileNotFound) {
                if (const int code = targetFs.makePath(destination))
                    failOn(code, destination);
            }
            if (const int code = targetFs.status(destination, &st, true))
                failOn(code, destination);
            if (!st.isFolder())
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
                    const bool fresh = !fs(target).exists(target);
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

void FileOperationEngine::failOn(int code, const std::string& path)
{
    failWith(fs(path).explain(code, path), path);
}

FileStatus FileOperationEngine::statusOrFail(const std::string& path)
{
    FileStatus st;
    if (const int code = fs(path).status(path, &st))
        failOn(code, path);
    return st;
}

std::vector<std::string> FileOperationEngine::namesOrFail(const std::string& folder)
{
    std::vector<std::string> names;
    if (const int code = fs(folder).list(folder, &names))
        failOn(code, folder);
    return names;
}

void FileOperationEngine::scan(const std::string& path, uint64_t& bytes, uint64_t& entries)
{
    checkpoint();
    const FileStatus st = statusOrFail(path);
    ++entries;
    if (st.isFile())
        bytes += st.size;
    if (!st.isFolder())
        return;
    for (const std::string& name : namesOrFail(path))
        scan(NativeJoin(path, name), bytes, entries);
}

std::string FileOperationEngine::copyNameInSameFolder(const std::string& source)
{
    const std::string folder = NativeDirName(source);
    const std::string name = NativeBaseName(source);
    FileStatus st;
    const bool isFile = fs(source).status(source, &st) == 0 && !st.isFolder();
    const size_t dot = isFile ? name.rfind('.') : std::string::npos;
    const std::string stem = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
    const std::string ext = (dot == std::string::npos || dot == 0) ? std::string() : name.substr(dot);
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        std::string candidate = stem + LoadStr(kStrCopySuffix);
        if (attempt > 1)
            candidate += " (" + std::to_string(attempt) + ")";
        candidate = NativeJoin(folder, candidate + ext);
        if (!fs(candidate).exists(candidate))
            return candidate;
    }
    failWith(FileOpSameFile, source);
}

bool FileOperationEngine::resolveConflict(const std::string& source, const std::string& target)
{
    FileStatus existing;
    if (fs(target).status(target, &existing) != 0)
        return true;
    if (m_yesToAll)
        return true;
    if (m_noToAll)
        return false;
    const FileStatus incoming = statusOrFail(source);
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
    if (statusOrFail(source).isFolder()) {
        if (NativeIsSameOrBelow(target, source))
            failWith(FileOpDestinationInside, source);
        copyFolder(source, target, move);
    } else {
        copyFile(source, target, move);
    }
}

void FileOperationEngine::noteNotKept(const std::string& path, FileOpNotKept::What what, int code)
{
    if (m_outcome.notKept.size() < FileOperationOutcome::kMaxNotKept)
        m_outcome.notKept.push_back({path, what, code});
    ++m_outcome.notKeptCount;
}

void FileOperationEngine::keepModeAndDates(const std::string& copy, const std::string& shownAs,
                                           const FileSystem& sourceFs, const FileStatus& st)
{
    FileSystem& targetFs = fs(copy);
    // A share's modes are made up from its DOS attributes: there is nothing to set there.
    if (targetFs.keepsModes()) {
        if (const int code = targetFs.setMode(copy, copyMode(sourceFs, st)))
            noteNotKept(shownAs, FileOpNotKept::Mode, code);
    }
    if (const int code = targetFs.setTimes(copy, st))
        noteNotKept(shownAs, FileOpNotKept::Dates, code);
}

void FileOperationEngine::copyFolder(const std::string& source, const std::string& target, bool move)
{
    FileSystem& sourceFs = fs(source);
    FileSystem& targetFs = fs(target);
    const FileStatus st = statusOrFail(source);
    FileStatus existing;
    if (targetFs.status(target, &existing) == 0) {
        // Folders merge; a file in the way of a folder is an error, never replaced.
        if (!existing.isFolder())
            failWith(Win32::AlreadyExists, target);
    } else if (const int code = targetFs.makeFolder(target, copyMode(sourceFs, st) | 0700)) {
        failOn(code, target);
    }
    m_ui.progress(m_doneBytes, source);
    for (const std::string& name : namesOrFail(source))
        copyInto(NativeJoin(source, name), NativeJoin(target, name), move);
    keepModeAndDates(target, target, sourceFs, st);
    // A moved folder goes only when everything in it went: skipped entries keep it.
    if (move) {
        const int code = sourceFs.removeFolder(source);
        if (code != 0 && code != Win32::DirNotEmpty)
            failOn(code, source);
    }
}

bool FileOperationEngine::copyFile(const std::string& source, const std::string& target, bool move)
{
    if (!resolveConflict(source, target)) {
        FileStatus st;
        if (fs(source).status(source, &st) == 0 && st.isFile())
            m_doneBytes += st.size;
        m_ui.progress(m_doneBytes, source);
        return false;
    }
    FileStatus existing;
    if (fs(target).status(target, &existing) == 0 && existing.isFolder())
        failWith(Win32::AlreadyExists, target);
    writeFileAtomically(source, target, move);
    if (move) {
        if (const int code = fs(source).removeFile(source))
            failOn(code, source);
    }
    return true;
}

void FileOperationEngine::writeFileAtomically(const std::string& source, const std::string& target,
                                              bool durable)
{
    FileSystem& sourceFs = fs(source);
    FileSystem& targetFs = fs(target);
    const FileStatus st = statusOrFail(source);
    const std::string folder = NativeDirName(target);
    std::string temp;
    for (int attempt = 0; attempt < kMaxNameAttempts && temp.empty(); ++attempt) {
        const std::string candidate = NativeJoin(folder, kPartPrefix + randomTag());
        if (!targetFs.exists(candidate))
            temp = candidate;
    }
    if (temp.empty())
        failWith(Win32::FileExists, target);

    int code = 0;
    switch (st.kind) {
    case EntryKind::Link: {
        std::string link;
        if ((code = sourceFs.readLink(source, &link)) != 0)
            failOn(code, source);
        if ((code = targetFs.makeLink(link, temp)) != 0)
            code == Win32::NotSupported ? failWith(code, source) : failOn(code, target);
        break;
    }
    case EntryKind::File:
        copyContents(source, st, temp, target, durable);
        break;
    case EntryKind::Pipe:
        if ((code = targetFs.makePipe(temp, st.mode)) != 0)
            code == Win32::NotSupported ? failWith(code, source) : failOn(code, target);
        // It was made under the umask.
        keepModeAndDates(temp, target, sourceFs, st);
        break;
    default:
        failWith(Win32::NotSupported, source);
    }
    if ((code = renameEntry(temp, target, true)) != 0) {
        targetFs.removeFile(temp);
        failOn(code, target);
    }
}

void FileOperationEngine::copyContents(const std::string& source, const FileStatus& st, const std::string& temp,
                                       const std::string& target, bool durable)
{
    FileSystem& sourceFs = fs(source);
    FileSystem& targetFs = fs(temp);
    int code = 0;
    const std::unique_ptr<PlatformFile> in = sourceFs.openForReading(source, &code);
    if (!in)
        failWith(code, source);
    std::unique_ptr<PlatformFile> out = targetFs.createFile(temp, &code);
    if (!out)
        failWith(code, target);
    std::vector<char> buffer(kCopyChunk);
    auto abandon = [&](int code, const std::string& path, bool aborted) {
        out.reset();
        targetFs.removeFile(temp);
        m_outcome.aborted = aborted;
        failWith(code, path);
    };
    for (;;) {
        if (m_ui.cancelled())
            abandon(Win32::Cancelled, {}, true);
        size_t got = 0;
        if (!in->read(buffer.data(), buffer.size(), &got))
            abandon(in->error(), source, false);
        if (got == 0)
            break;
        if (!out->write(buffer.data(), got))
            abandon(out->error(), target, false);
        m_doneBytes += got;
        m_ui.progress(m_doneBytes, source);
        if (got < buffer.size())
            break;
    }
    // A move deletes its source next: the copy must be on the disk first (a share's file
    // is, once the server has answered its close).
    if (durable && !out->flush())
        abandon(out->error(), target, false);
    if (!out->close())
        abandon(out->error(), target, false);
    keepModeAndDates(temp, target, sourceFs, st);
}

int FileOperationEngine::renameEntry(const std::string& from, const std::string& to, bool replace)
{
    FileSystem& from_fs = fs(from);
    if (&from_fs != &fs(to))
        return Win32::NotSameDevice;
    return from_fs.rename(from, to, replace);
}

void FileOperationEngine::moveEntry(const std::string& source, const std::string& target)
{
    checkpoint();
    FileSystem& sourceFs = fs(source);
    const FileStatus st = statusOrFail(source);
    const bool isFolder = st.isFolder();
    if (isFolder && NativeIsSameOrBelow(target, source))
        failWith(FileOpDestinationInside, source);

    FileStatus existing;
    if (fs(target).status(target, &existing) == 0) {
        if (isFolder != existing.isFolder())
            failWith(Win32::AlreadyExists, target);
        if (isFolder) {
            // Merge into the folder that is there, entry by entry.
            for (const std::string& name : namesOrFail(source))
                moveEntry(NativeJoin(source, name), NativeJoin(target, name));
            const int code = sourceFs.removeFolder(source);
            if (code != 0 && code != Win32::DirNotEmpty)
                failOn(code, source);
            return;
        }
        if (!resolveConflict(source, target)) {
            m_doneBytes += st.isFile() ? st.size : 0;
            m_ui.progress(m_doneBytes, source);
            return;
        }
    }
    const int code = renameEntry(source, target, true);
    if (code == 0) {
        if (st.isFile())
            m_doneBytes += st.size;
        m_ui.progress(m_doneBytes, source);
        return;
    }
    if (code != Win32::NotSameDevice)
        failOn(code, source);
    // Another volume: copy, and delete each source entry only once its copy is complete.
    if (isFolder) {
        copyFolder(source, target, true);
    } else {
        writeFileAtomically(source, target, true);
        if (const int removed = sourceFs.removeFile(source))
            failOn(removed, source);
    }
}

void FileOperationEngine::doDelete(const std::vector<std::string>& sources, bool toTrash)
{
    for (const std::string& source : sources)
        statusOrFail(source);
    // Some file systems (a share's) have no trash: the question says what really happens
    // to their entries.
    const bool allHaveTrash = std::all_of(sources.begin(), sources.end(),
                                          [this](const std::string& path) { return fs(path).hasTrash(); });
    if (!(m_flags & FOF_NOCONFIRMATION) && !m_ui.confirmDelete(sources, toTrash && allHaveTrash)) {
        m_outcome.aborted = true;
        failWith(Win32::Cancelled, {});
    }
    m_ui.begin(FO_DELETE, 0, sources.size());
    for (const std::string& source : sources) {
        checkpoint();
        m_ui.progress(0, source);
        FileSystem& sourceFs = fs(source);
        // Without a trash the entries go for good, as they do from network drives.
        if (toTrash && sourceFs.hasTrash()) {
            TrashItem item;
            const int code = sourceFs.moveToTrash(source, &item);
            if (code == 0) {
                m_outcome.trashed.push_back(item);
                continue;
            }
            // A volume with no trash that can be made (read-only top folder, no room for
            // one): the entry may still go for good, but only after that question.
            if (code == Win32::FileNotFound || code == Win32::PathNotFound)
                failWith(code, source);
            if (!m_ui.confirmDelete({source}, false)) {
                m_outcome.aborted = true;
                failWith(Win32::Cancelled, {});
            }
        }
        if (const int code = sourceFs.removeTree(source))
            failOn(code, source);
    }
}

void FileOperationEngine::doRename(const std::string& source, const std::string& target)
{
    statusOrFail(source);
    if (target == source)
        return;
    // Never replace: a rename onto an existing name fails and keeps the old name.
    const int code = renameEntry(source, target, false);
    if (code == Win32::AlreadyExists || code == Win32::NotSameDevice)
        failWith(code, target);
    if (code != 0)
        failOn(code, source);
}
