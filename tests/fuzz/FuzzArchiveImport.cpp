// Archive import: any bytes as an archive, restored into an empty folder; the blocks are
// also decoded in memory, one window for all, as far as the size fields lead.
#include "store/TLZHuff.h"
#include "platform/Exception.h"
#include "FuzzFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzFolder& dir = FuzzFolder::get();
    dir.write("in.che", data, size);
    dir.clear("out");
    try {
        TLZHuff coder;
        coder.ImportArchive(dir.win("in.che"), dir.win("out"));
    } catch (const Exception&) {
    }
    try {
        TLZHuff coder;
        std::span<const uint8_t> archive(data, size);
        size_t pos = 0;
        std::vector<uint8_t> block;
        for (int k = 0; k < 64 && pos < size; k++)
            coder.DecodeBlock(archive, pos, block);
    } catch (const Exception&) {
    }
    return 0;
}
