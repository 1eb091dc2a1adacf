#include "store/ListDat.h"

#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "store/StoredFileReading.h"

void ReadListDat(const std::string& path, TItemList& list)
{
    auto file = OpenFileOrRaise(path, FileMode::Read);
    SliceReader reader(*file);
    TItemData item;
    while (reader.read(reinterpret_cast<unsigned char*>(&item), sizeof item)) {
        // A Path without its NUL is ended where the NUL belongs.
        item.Path[sizeof item.Path - 1] = '\0';
        list.push_back(item);
    }
}

void WriteListDat(const std::string& path, const TItemList& list)
{
    RemoveStaleTemporaries(path);
    int error = 0;
    if (!WriteFileReplacing(path, list.data(), list.size() * sizeof(TItemData), &error))
        RaiseFileError(error);
}
