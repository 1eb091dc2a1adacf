#include "store/NodeAttachment.h"

#include "platform/AtomicFile.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "store/TNodeData.h"

void ReadNodeAttachment(const TNodeData& data, void* buffer, size_t size)
{
    auto file = OpenFileOrRaise(data.StoreDir + data.Key + ".ATT", FileMode::Read);
    size_t got = 0;
    if (!file->read(buffer, size, &got) || got != size)
        throw Exception("Read Error");
}

void WriteNodeAttachment(const TNodeData& data, const void* buffer, size_t size)
{
    const std::string path = data.StoreDir + data.Key + ".ATT";
    RemoveStaleTemporaries(path);
    // The block holds a site's password: no one else may enter its folder or read it.
    KeepSecret(path);
    int error = 0;
    if (!WriteFileReplacing(path, buffer, size, &error)) {
        if (error == Win32::DiskFull || error == Win32::HandleEof)
            throw Exception("Write Error");
        RaiseFileError(error);
    }
    if (!KeepSecret(path))
        throw Exception(UiFormat("無法保護檔案 %1：只有本人可讀", {path}));
}
