// "LIST.DAT": any bytes as a flat file of item records; the entries are sorted as the
// cached folder lister sorts them.
#include "store/CacheListing.h"
#include "store/NodePaths.h"
#include "platform/Exception.h"
#include "FuzzFolder.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzFolder& dir = FuzzFolder::get();
    dir.write("LIST.DAT", data, size);
    try {
        TItemList list;
        ReadListDat(dir.win("LIST.DAT"), list);
        std::sort(list.begin(), list.end(), [](const TItemData& a, const TItemData& b) { return CompareItems(a, b) < 0; });
        for (const TItemData& item : list)
            (void)BareName(ItemPath(item));
    } catch (const Exception&) {
    }
    return 0;
}
