// The listing pair: the input is split into an ".IDX" and an ".LST" (the first two bytes
// give the index's length); the folders of the index, and one that is not in it, are read.
#include "store/CacheListing.h"
#include "platform/Exception.h"
#include "platform/TextCodec.h"
#include "FuzzFolder.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t indexSize = std::min<size_t>(size - 2, size_t(data[0] | data[1] << 8));
    const FuzzFolder& dir = FuzzFolder::get();
    dir.write("SRV.IDX", data + 2, indexSize);
    dir.write("SRV.LST", data + 2 + indexSize, size - 2 - indexSize);

    std::vector<std::string> folders = {"\\\\SRV\\", "\\\\srv\\share\\dir\\"};
    // The folder paths the index holds (walked without trust: lengths are bounded here).
    for (size_t at = 0; at + 10 <= indexSize && folders.size() < 6;) {
        const size_t m = size_t(data[2 + at + 8] | data[2 + at + 9] << 8);
        if (at + 10 + m > indexSize)
            break;
        const char* path = reinterpret_cast<const char*>(data + 2 + at + 10);
        folders.push_back(DecodeCP950(std::string_view(path, strnlen(path, m))));
        at += 10 + m;
    }
    for (const std::string& folder : folders) {
        try {
            TItemList list;
            ReadFolderListing(list, dir.win(), "SRV", folder);
            for (const TItemData& item : list)
                (void)ItemPath(item);
        } catch (const Exception&) {
        }
    }
    return 0;
}
