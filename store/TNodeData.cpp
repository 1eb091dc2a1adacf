#include "store/TNodeData.h"

#include "platform/TextCodec.h"
#include "store/NodePaths.h"
#include "store/RecordLayout.h"

#include <cstring>

namespace {

// The record, field by field.
struct NodeLayout {
    static constexpr RecordField Caption = FirstField(128);
    static constexpr RecordField ImageIndex = FieldAfter(Caption, 4);
    static constexpr RecordField ImageIndexCopy = FieldAfter(ImageIndex, 4);
    static constexpr RecordField SelectedIndex = FieldAfter(ImageIndexCopy, 4);
    static constexpr RecordField RemoteName = FieldAfter(SelectedIndex, 256);
    static constexpr RecordField Attributes = FieldAfter(RemoteName, 2);
    static constexpr RecordField Host = FieldAfter(Attributes, 128);
    static constexpr RecordField RootKind = FieldAfter(Host, 1);
    static constexpr RecordField Unused = FieldAfter(RootKind, 1);  // written 0, the integers after it aligned
    static constexpr RecordField ResourceType = FieldAfter(Unused, 4);
    static constexpr RecordField DisplayType = FieldAfter(ResourceType, 4);
    static constexpr RecordField Scope = FieldAfter(DisplayType, 4);
    static constexpr RecordField Usage = FieldAfter(Scope, 4);
    static constexpr RecordField Created = FieldAfter(Usage, 8);  // a little-endian double
    static constexpr RecordField Key = FieldAfter(Created, 128);
    static constexpr RecordField FileCount = FieldAfter(Key, 4);
    static constexpr RecordField ImageCount = FieldAfter(FileCount, 4);
    static constexpr RecordField AudioCount = FieldAfter(ImageCount, 4);
    static constexpr RecordField VideoCount = FieldAfter(AudioCount, 4);
    static constexpr RecordField State = FieldAfter(VideoCount, 4);
    static constexpr RecordField OwnOffset = FieldAfter(State, 4);
};
static_assert(NodeLayout::OwnOffset.End() == NodeRecordSize, "the fields fill the record");

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
    using L = NodeLayout;
    NodeRecord rec{};
    unsigned char* r = rec.data();
    WriteTextField(r + L::Caption.At, L::Caption.Width, d.Caption);
    PutLE32(r + L::ImageIndex.At, uint32_t(d.ImageIndex));
    PutLE32(r + L::ImageIndexCopy.At, uint32_t(d.ImageIndex));
    PutLE32(r + L::SelectedIndex.At, uint32_t(d.SelectedIndex));
    WriteTextField(r + L::RemoteName.At, L::RemoteName.Width, d.RemoteName);
    const uint16_t attributes = d.NodeAttributes & NodeAttributeMask;
    PutLE16(r + L::Attributes.At, attributes);
    WriteTextField(r + L::Host.At, L::Host.Width, d.Host);
    r[L::RootKind.At] = d.RootKind;
    PutLE32(r + L::ResourceType.At, uint32_t(d.ResourceType));
    PutLE32(r + L::DisplayType.At, uint32_t(d.DisplayType));
    PutLE32(r + L::Scope.At, uint32_t(d.Scope));
    PutLE32(r + L::Usage.At, uint32_t(d.Usage));
    putDouble(r + L::Created.At, d.Created);
    WriteTextField(r + L::Key.At, L::Key.Width, d.Key);
    PutLE32(r + L::FileCount.At, uint32_t(d.FileCount));
    PutLE32(r + L::ImageCount.At, uint32_t(d.ImageCount));
    PutLE32(r + L::AudioCount.At, uint32_t(d.AudioCount));
    PutLE32(r + L::VideoCount.At, uint32_t(d.VideoCount));
    PutLE32(r + L::State.At, d.State);
    PutLE32(r + L::OwnOffset.At, uint32_t(d.RecordOffset));
    return rec;
}

void DecodeNodeRecord(const unsigned char* r, TNodeData& d)
{
    using L = NodeLayout;
    d.Caption = ReadTextField(r + L::Caption.At, L::Caption.Width);
    d.ImageIndex = int32_t(GetLE32(r + L::ImageIndex.At));
    d.StateIndex = int32_t(GetLE32(r + L::ImageIndexCopy.At));
    d.SelectedIndex = int32_t(GetLE32(r + L::SelectedIndex.At));
    d.RemoteName = ReadTextField(r + L::RemoteName.At, L::RemoteName.Width);
    d.NodeAttributes = GetLE16(r + L::Attributes.At);
    d.Host = ReadTextField(r + L::Host.At, L::Host.Width);
    d.RootKind = r[L::RootKind.At];
    d.ResourceType = int32_t(GetLE32(r + L::ResourceType.At));
    d.DisplayType = int32_t(GetLE32(r + L::DisplayType.At));
    d.Scope = int32_t(GetLE32(r + L::Scope.At));
    d.Usage = int32_t(GetLE32(r + L::Usage.At));
    d.Created = getDouble(r + L::Created.At);
    d.Key = ReadTextField(r + L::Key.At, L::Key.Width);
    d.FileCount = int32_t(GetLE32(r + L::FileCount.At));
    d.ImageCount = int32_t(GetLE32(r + L::ImageCount.At));
    d.AudioCount = int32_t(GetLE32(r + L::AudioCount.At));
    d.VideoCount = int32_t(GetLE32(r + L::VideoCount.At));
    d.State = GetLE32(r + L::State.At);
}

std::string RecordKeyBytes(const unsigned char* record)
{
    using L = NodeLayout;
    const unsigned char* key = record + L::Key.At;
    return std::string(reinterpret_cast<const char*>(key), strnlen(reinterpret_cast<const char*>(key), L::Key.Width));
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
