#include "local/TObjFolderSize.h"

#include "local/FileOperationPaths.h"
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
    struct stat st;
    if (fsLstat(path, &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        ++Files;
        Bytes += S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0;
        return;
    }
    if (!top)
        ++Folders;
    int error = 0;
    for (const std::string& name : listNames(path, &error)) {
        if (Terminated())
            break;
        add(NativeJoin(path, name), false);
        report();
    }
}
