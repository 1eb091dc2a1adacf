// The node file reader: any bytes as "ALL.NOD".
#include "store/NodeFile.h"
#include "platform/Exception.h"
#include "FuzzFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzFolder& dir = FuzzFolder::get();
    dir.write("ALL.NOD", data, size);
    try {
        TNodeList list;
        LoadNodeFile(dir.win(), list, true);
        for (const auto& node : ReadStoredRecords(dir.win())) {
            TNodeData byKey;
            byKey.StoreDir = dir.win();
            byKey.Key = node->Key;
            ReadNodeRecord(byKey);
        }
    } catch (const Exception&) {
    }
    return 0;
}
