#include "local/TObjFolderSize.h"

#include "platform/NativeFiles.h"

#include <dirent.h>
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
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        ++Files;
        Bytes += S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0;
        return;
    }
    if (!top)
        ++Folders;
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return;
    while (dirent* entry = readdir(dir)) {
        if (Terminated())
            break;
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        add(NativeJoin(path, name), false);
        report();
    }
    closedir(dir);
}
