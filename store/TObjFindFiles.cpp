#include "store/TObjFindFiles.h"

#include "local/ErrorText.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "platform/SmbContext.h"
#include "platform/SmbFiles.h"
#include "resources/StringTable.h"
#include "store/NodePaths.h"

#include <QCollator>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kStrUserAbort = 20046;

void SortNames(QStringList& names)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(),
              [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
}

} // namespace

TObjFindFiles::TObjFindFiles(const std::string& path) : Folder(AddBackslash(path)), Pattern(Folder + "*.*")
{
}

bool TObjFindFiles::IsShareRoot(const std::string& folder)
{
    if (folder.size() <= 3 || folder.compare(0, 2, "\\\\") != 0)
        return false;
    return PathPart(folder.substr(2), 3).empty();
}

void TObjFindFiles::Execute()
{
    int error = 0;
    bool stopped = false;
    const bool ok = ForEachDirectoryEntry(Pattern, [this, &stopped](FindEntry&& entry) {
        if (Terminated()) {
            stopped = true;
            return false;
        }
        if (!IsPlainName(entry.name)) {
            std::fprintf(stderr, "tamsel: %s: an entry name that is not a plain name was left out\n", Folder.c_str());
            return true;
        }
        ((entry.attributes & 0x10) ? Folders : Files).append(QString::fromStdString(entry.name));
        return true;
    }, &error);
    if (!ok) {
        ErrorCode = uint32_t(error);
        ErrorText = QString::fromStdString(SystemErrorText(error));
        Files.clear();
        Folders.clear();
        return;
    }
    if (stopped) {
        ErrorText = QString::fromStdString(LoadStr(kStrUserAbort));
        return;
    }
    if (IsShareRoot(Folder)) {
        // This thread's connections end with it anyway; dropping them now is the cancel.
        std::string server;
        SplitUncPath(Folder, &server, nullptr);
        SmbDropConnections(server);
        ConnectionCancelled = true;
    }
    SortNames(Folders);
    SortNames(Files);
    Completed = true;
    CallCompletion();
}
