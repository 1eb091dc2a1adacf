#include "store/TNodeData.h"

#include "platform/TextCodec.h"
#include "store/NodePaths.h"

#include <cstring>

namespace {

// Field offsets and widths of the 704-byte record.
constexpr size_t CaptionAt = 0, CaptionWidth = 128;
constexpr size_t ImageIndexAt = 128, ImageIndexCopyAt = 132, SelectedIndexAt = 136;
constexpr size_t RemoteNameAt = 140, RemoteNameWidth = 256;
constexpr size_t AttributesAt = 396;
constexpr size_t HostAt = 398, HostWidth = 128;
constexpr size_t RootKindAt = 526;
constexpr size_t ResourceTypeAt = 528, DisplayTypeAt = 532, ScopeAt = 536, UsageAt = 540;
constexpr size_t CreatedAt = 544;
constexpr size_t KeyAt = 552, KeyWidth = 128;
constexpr size_t FileCountAt = 680, ImageCountAt = 684, AudioCountAt = 688, VideoCountAt = 692;
constexpr size_t StateAt = 696, OwnOffsetAt = 700;

void put32(unsigned char* p, uint32_t v)
{
    for (int k = 0; k < 4; k++)
        p[k] = uint8_t(v >> (8 * k));
}

uint32_t get32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void putDouble(unsigned char* p, double d)
{
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    for (int k = 0; k < 8; k++)
        p[k] = uint8_t(bits >> (8 * k));
}

double getDouble(const unsigned char* p)
{
    uint64_t bits = 0;
    for (int k = 0; k < 8; k++)
        bits |= uint64_t(p[k]) << (8 * k);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

} // namespace

NodeRecord EncodeNodeRecord(const TNodeData& d)
{
    NodeRecord rec{};
    unsigned char* r = rec.data();
    WriteTextField(r + CaptionAt, CaptionWidth, d.Caption);
    put32(r + ImageIndexAt, uint32_t(d.ImageIndex));
    put32(r + ImageIndexCopyAt, uint32_t(d.ImageIndex));
    put32(r + SelectedIndexAt, uint32_t(d.SelectedIndex));
    WriteTextField(r + RemoteNameAt, RemoteNameWidth, d.RemoteName);
    const uint16_t attributes = d.NodeAttributes & NodeAttributeMask;
    r[AttributesAt] = uint8_t(attributes);
    r[AttributesAt + 1] = uint8_t(attributes >> 8);
    WriteTextField(r + HostAt, HostWidth, d.Host);
    r[RootKindAt] = d.RootKind;
    put32(r + ResourceTypeAt, uint32_t(d.ResourceType));
    put32(r + DisplayTypeAt, uint32_t(d.DisplayType));
    put32(r + ScopeAt, uint32_t(d.Scope));
    put32(r + UsageAt, uint32_t(d.Usage));
    putDouble(r + CreatedAt, d.Created);
    WriteTextField(r + KeyAt, KeyWidth, d.Key);
    put32(r + FileCountAt, uint32_t(d.FileCount));
    put32(r + ImageCountAt, uint32_t(d.ImageCount));
    put32(r + AudioCountAt, uint32_t(d.AudioCount));
    put32(r + VideoCountAt, uint32_t(d.VideoCount));
    put32(r + StateAt, d.State);
    put32(r + OwnOffsetAt, uint32_t(d.RecordOffset));
    return rec;
}

void DecodeNodeRecord(const unsigned char* r, TNodeData& d)
{
    d.Caption = ReadTextField(r + CaptionAt, CaptionWidth);
    d.ImageIndex = int32_t(get32(r + ImageIndexAt));
    d.StateIndex = int32_t(get32(r + ImageIndexCopyAt));
    d.SelectedIndex = int32_t(get32(r + SelectedIndexAt));
    d.RemoteName = ReadTextField(r + RemoteNameAt, RemoteNameWidth);
    d.NodeAttributes = uint16_t(r[AttributesAt] | r[AttributesAt + 1] << 8);
    d.Host = ReadTextField(r + HostAt, HostWidth);
    d.RootKind = r[RootKindAt];
    d.ResourceType = int32_t(get32(r + ResourceTypeAt));
    d.DisplayType = int32_t(get32(r + DisplayTypeAt));
    d.Scope = int32_t(get32(r + ScopeAt));
    d.Usage = int32_t(get32(r + UsageAt));
    d.Created = getDouble(r + CreatedAt);
    d.Key = ReadTextField(r + KeyAt, KeyWidth);
    d.FileCount = int32_t(get32(r + FileCountAt));
    d.ImageCount = int32_t(get32(r + ImageCountAt));
    d.AudioCount = int32_t(get32(r + AudioCountAt));
    d.VideoCount = int32_t(get32(r + VideoCountAt));
    d.State = get32(r + StateAt);
}

std::string RecordKeyBytes(const unsigned char* record)
{
    const unsigned char* key = record + KeyAt;
    return std::string(reinterpret_cast<const char*>(key), strnlen(reinterpret_cast<const char*>(key), KeyWidth));
}

TNodeData MakeChildData(const TNodeData& parent)
{
    TNodeData child;
    child.RecordOffset = -1;
    child.State = Idle;
    child.Created = parent.Created;
    child.SiteWindow = parent.SiteWindow;
    child.Reserved = parent.Reserved;
    child.RootKind = parent.RootKind;
    child.StoreDir = parent.has(Domain) ? parent.StoreDir + parent.Key + "\\" : parent.StoreDir;
    return child;
}
