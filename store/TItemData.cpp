#include "store/TItemData.h"

#include "platform/TextCodec.h"

#include <cstring>

std::string_view ItemPathBytes(const TItemData& item)
{
    return std::string_view(item.Path, strnlen(item.Path, sizeof item.Path));
}

std::string ItemPath(const TItemData& item)
{
    return DecodeCP950(ItemPathBytes(item));
}

void SetItemPath(TItemData& item, std::string_view utf8)
{
    WriteTextField(reinterpret_cast<unsigned char*>(item.Path), sizeof item.Path, utf8);
}
