// The FTP site block: any bytes as ".ATT".
#include "store/CacheListing.h"
#include "store/TNodeData.h"
#include "platform/Exception.h"
#include "FuzzFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzFolder& dir = FuzzFolder::get();
    dir.write("SITE.ATT", data, size);
    TNodeData site;
    site.StoreDir = dir.win();
    site.Key = "SITE";
    unsigned char block[FtpSiteBlockSize];
    try {
        ReadNodeAttachment(site, block, sizeof block);
        const FtpSiteBlock decoded = DecodeFtpSiteBlock(block);
        unsigned char again[FtpSiteBlockSize];
        EncodeFtpSiteBlock(decoded, again);
    } catch (const Exception&) {
    }
    return 0;
}
