#include "local/TObjFolderSize.h"

#include "platform/FileSystem.h"
#include "platform/NativeFiles.h"

#include <sys/stat.h>

void TObjFolderSize::Execute()
{
    m_lastReport = std::chrono::steady_clock::now();
    for (const std::string& path : m_paths) {
        if (Terminated())
            break;
        add(path, true);
    }
    CallCompletion();
}

void TObjFolderSize::report()
{
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastReport < kReportInterval)
        return;
    m_lastReport = now;
    SynchronizeUnlessStopped([this] {
        if (OnProgress)
            OnProgress(this);
    });
}

void TObjFolderSize::add(const std::string& path, bool top)
{
    // A share's folders are counted through the SMB layer, as the file operations read them.
    FileSystem& files = FileSystemFor(path);
    FileStatus st;
    if (files.status(path, &st) != 0)
        return;
    if (!st.isFolder()) {
        ++Files;
        Bytes += st.isFile() ? st.size : 0;
        return;
    }
    if (!top)
        ++Folders;
    std::vector<std::string> names;
    files.list(path, &names);
    for (const std::string& name : names) {
        if (Terminated())
            break;
        add(NativeJoin(path, name), false);
        report();
    }
}
