#include "support/ErrorOf.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "MiniJson.h"
#include "StoreFolder.h"
#include "VectorFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TNodeData node(const std::string& storeDir, const std::string& key, uint16_t attributes = Computer)
{
    TNodeData d;
    d.StoreDir = storeDir;
    d.Caption = key;
    d.Key = key;
    d.NodeAttributes = attributes;
    d.State = Idle;
    return d;
}

void expectFields(const json::Value& want, const TNodeData& got)
{
    EXPECT_EQ(got.Caption, want["Caption"].text);
    EXPECT_EQ(got.ImageIndex, want["ImageIndex"].integer());
    EXPECT_EQ(got.StateIndex, want["StateIndex"].integer());
    EXPECT_EQ(got.SelectedIndex, want["SelectedIndex"].integer());
    EXPECT_EQ(got.RemoteName, want["RemoteName"].text);
    EXPECT_EQ(got.NodeAttributes, want["NodeAttributes"].integer());
    EXPECT_EQ(got.Host, want["Host"].text);
    EXPECT_EQ(got.RootKind, want["RootKind"].integer());
    EXPECT_EQ(got.ResourceType, want["ResourceType"].integer());
    EXPECT_EQ(got.DisplayType, want["DisplayType"].integer());
    EXPECT_EQ(got.Scope, want["Scope"].integer());
    EXPECT_EQ(got.Usage, want["Usage"].integer());
    EXPECT_EQ(got.Created, want["Created"].number);
    EXPECT_EQ(got.Key, want["Key"].text);
    EXPECT_EQ(got.FileCount, want["FileCount"].integer());
    EXPECT_EQ(got.ImageCount, want["ImageCount"].integer());
    EXPECT_EQ(got.AudioCount, want["AudioCount"].integer());
    EXPECT_EQ(got.VideoCount, want["VideoCount"].integer());
    EXPECT_EQ(got.State, uint32_t(want["State"].integer()));
    EXPECT_EQ(got.RecordOffset, want["RecordOffset"].integer());
}

} // namespace

TEST(NodeFileVectors, LoadNodeFileSkipsTombstonesAndResetsRunTimeState)
{
    StoreFolder dir;
    dir.copyFrom(vectors::root() / "nodes/three_records/ALL.NOD", "ALL.NOD");
    const json::Value v = json::parse(vectors::readText(vectors::root() / "nodes/three_records/ALL.NOD.json"));
    TNodeList list;
    LoadNodeFile(dir.win(), list, false);
    ASSERT_EQ(list.size(), v["LoadNodeFile"].size());
    for (size_t k = 0; k < list.size(); k++) {
        SCOPED_TRACE(k);
        expectFields(v["LoadNodeFile"][k], *list[k]);
        EXPECT_EQ(list[k]->StoreDir, dir.win());
    }
    EXPECT_EQ(list[1]->RecordOffset, 1408);
    EXPECT_TRUE(list[0]->State & OtherWriterFlag);

    // Every stored field, tombstone included, and writing them back gives the same bytes.
    const TNodeList stored = ReadStoredRecords(dir.win());
    ASSERT_EQ(stored.size(), v["records_as_stored"].size());
    StoreFolder out;
    for (size_t k = 0; k < stored.size(); k++) {
        expectFields(v["records_as_stored"][k], *stored[k]);
        TNodeData copy = *stored[k];
        copy.StoreDir = out.win();
        copy.RecordOffset = -1;
        WriteNodeRecord(copy);
        EXPECT_EQ(copy.RecordOffset, int32_t(k * NodeRecordSize));
    }
    EXPECT_EQ(out.readFile("ALL.NOD"), dir.readFile("ALL.NOD"));
}

// The vector file with half a record after it, as a write cut short leaves it: the next
// record lands after the three whole ones, which stay byte for byte; the tail is kept aside.
TEST(NodeFileVectors, APartialRecordAfterTheVectorIsKeptAsideAndWrittenOver)
{
    StoreFolder dir;
    const std::string vector = vectors::readText(vectors::root() / "nodes/three_records/ALL.NOD");
    ASSERT_EQ(vector.size(), 2112u);
    const std::string tail = vector.substr(0, 352);
    dir.writeFile("ALL.NOD", vector + tail);
    TNodeList stored = ReadStoredRecords(dir.win());
    ASSERT_EQ(stored.size(), 3u);
    TNodeData copy = *stored[2];
    copy.Key = copy.Caption = "NEW";
    copy.RecordOffset = -1;
    WriteNodeRecord(copy);
    EXPECT_EQ(copy.RecordOffset, 2112);
    const std::string written = dir.readFile("ALL.NOD");
    ASSERT_EQ(written.size(), 2816u);
    EXPECT_EQ(written.substr(0, 2112), vector);
    const NodeRecord record = EncodeNodeRecord(copy);
    EXPECT_EQ(written.substr(2112), std::string(record.begin(), record.end()));
    EXPECT_EQ(dir.readFile("ALL.NOD.TAIL"), tail);
}

TEST(NodeFileVectors, LongCaptionIsCutBetweenCharacters)
{
    const auto file = vectors::root() / "nodes/long_caption/ALL.NOD";
    const json::Value v = json::parse(vectors::readText(vectors::root() / "nodes/long_caption/ALL.NOD.json"));
    StoreFolder dir;
    dir.copyFrom(file, "ALL.NOD");
    TNodeList stored = ReadStoredRecords(dir.win());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->Caption, v["caption_stored"].text);

    TNodeData d = *stored[0];
    d.Caption = v["caption_given"].text;
    const NodeRecord record = EncodeNodeRecord(d);
    EXPECT_EQ(std::string(record.begin(), record.end()), dir.readFile("ALL.NOD"));
    EXPECT_EQ(record[127], 0);
}

TEST(NodeFile, WriteSearchesAppendsAndOverwrites)
{
    StoreFolder dir;
    TNodeData a = node(dir.win(), "Server");
    TNodeData b = node(dir.win(), "SERVER");  // keys compare exactly
    WriteNodeRecord(a);
    WriteNodeRecord(b);
    EXPECT_EQ(a.RecordOffset, 0);
    EXPECT_EQ(b.RecordOffset, 704);

    // Written again with an unknown offset: found by key, overwritten in place.
    TNodeData again = node(dir.win(), "SERVER");
    again.FileCount = 99;
    WriteNodeRecord(again);
    EXPECT_EQ(again.RecordOffset, 704);
    EXPECT_EQ(std::filesystem::file_size(dir.path("ALL.NOD")), 1408u);

    TNodeData read = node(dir.win(), "SERVER");
    ReadNodeRecord(read);
    EXPECT_EQ(read.FileCount, 99);
    EXPECT_EQ(read.RecordOffset, 704);

    // A partial record after the last whole one (a write cut short): the whole records
    // still read, and the next write keeps the tail beside the file, cuts it off and
    // appends where the tail began, so the file is whole and writable again.
    const std::string whole = dir.readFile("ALL.NOD");
    const std::string tail = std::string(100, 'x') + std::string("\0\xff", 2);
    dir.writeFile("ALL.NOD", whole + tail);
    TNodeList list;
    LoadNodeFile(dir.win(), list, false);
    EXPECT_EQ(list.size(), 2u);
    TNodeData c = node(dir.win(), "Third");
    WriteNodeRecord(c);
    EXPECT_EQ(c.RecordOffset, 1408);
    EXPECT_EQ(dir.readFile("ALL.NOD.TAIL"), tail);
    EXPECT_EQ(dir.readFile("ALL.NOD").substr(0, 1408), whole);
    EXPECT_EQ(std::filesystem::file_size(dir.path("ALL.NOD")), 2112u);
    TNodeData third = node(dir.win(), "Third");
    ReadNodeRecord(third);
    EXPECT_EQ(third.RecordOffset, 1408);

    // Damaged again: the batch write does the same, and the first tail kept is not overwritten.
    dir.writeFile("ALL.NOD", dir.readFile("ALL.NOD") + "yy");
    TNodeData d = node(dir.win(), "Fourth");
    WriteNodeRecords({&d});
    EXPECT_EQ(d.RecordOffset, 2112);
    EXPECT_EQ(dir.readFile("ALL.NOD.TAIL"), tail);
    EXPECT_EQ(dir.readFile("ALL.NOD.TAIL1"), "yy");
    EXPECT_EQ(std::filesystem::file_size(dir.path("ALL.NOD")), 2816u);
    list.clear();
    LoadNodeFile(dir.win(), list, false);
    EXPECT_EQ(list.size(), 4u);
}

TEST(NodeFile, TombstonesAreReusedAndSkipped)
{
    StoreFolder dir;
    TNodeData a = node(dir.win(), "A"), b = node(dir.win(), "B"), c = node(dir.win(), "C");
    for (TNodeData* d : {&a, &b, &c})
        WriteNodeRecord(*d);
    DeleteNodeCache(b, true);
    TNodeList list;
    LoadNodeFile(dir.win(), list, false);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]->Key, "C");
    EXPECT_EQ(list[1]->RecordOffset, 1408);

    TNodeData reborn = node(dir.win(), "B");
    reborn.Host = "again";
    WriteNodeRecord(reborn);
    EXPECT_EQ(reborn.RecordOffset, 704);
    list.clear();
    LoadNodeFile(dir.win(), list, false);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1]->Host, "again");
    EXPECT_EQ(std::filesystem::file_size(dir.path("ALL.NOD")), 2112u);
}

TEST(NodeFile, ReadRestoresIdleAndKeepsDeletedAndOtherWriterBits)
{
    StoreFolder dir;
    TNodeData d = node(dir.win(), "X");
    d.State = Expanded | FromCache | OtherWriterFlag | Deleted;
    WriteNodeRecord(d);
    TNodeData r = node(dir.win(), "X");
    r.State = 0;
    ReadNodeRecord(r);
    EXPECT_EQ(r.State, Idle | OtherWriterFlag | Deleted);
    // A known offset is read directly, whatever the key says.
    TNodeData byOffset = node(dir.win(), "other");
    byOffset.RecordOffset = 0;
    ReadNodeRecord(byOffset);
    EXPECT_EQ(byOffset.Key, "X");
}

TEST(NodeFile, MissingFilesAndKeys)
{
    StoreFolder dir;
    TNodeList list;
    LoadNodeFile(dir.win(), list, true);
    EXPECT_TRUE(list.empty());
    TNodeData d = node(dir.win(), "nobody");
    EXPECT_EQ(errorOf([&] { ReadNodeRecord(d); }), Win32MessageText(Win32::FileNotFound));
    TNodeData other = node(dir.win(), "somebody");
    WriteNodeRecord(other);
    EXPECT_EQ(errorOf([&] { ReadNodeRecord(d); }), "Not Found Data");
    TNodeData far = node(dir.win(), "far");
    far.RecordOffset = 7040;
    EXPECT_EQ(errorOf([&] { ReadNodeRecord(far); }), "Not Found Data");
    TNodeData nowhere = node(dir.win("no-such-folder") + "\\", "x");
    EXPECT_NE(errorOf([&] { WriteNodeRecord(nowhere); }), "(no error)");
}

TEST(NodeFile, DomainNodesGetTheirFolderUnlessDeleted)
{
    StoreFolder dir;
    TNodeData domain = node(dir.win(), "工作群組", Domain);
    WriteNodeRecord(domain);
    EXPECT_TRUE(dir.exists("工作群組"));
    TNodeData gone = node(dir.win(), "Gone", Domain);
    gone.State |= Deleted;
    WriteNodeRecord(gone);
    EXPECT_FALSE(dir.exists("Gone"));
    // A key that is not a plain name never makes or removes a folder outside StoreDir.
    TNodeData escape = node(dir.win(), "..", Domain);
    EXPECT_NE(errorOf([&] { WriteNodeRecord(escape); }), "(no error)");
    EXPECT_EQ(ReadStoredRecords(dir.win()).size(), 2u);  // refused before anything was written
    EXPECT_NE(errorOf([&] { DeleteNodeCache(escape, false); }), "(no error)");
    EXPECT_TRUE(std::filesystem::exists(dir.path()));
}

TEST(NodeFile, DeleteNodeCacheRemovesWhatTheNodeOwns)
{
    StoreFolder dir;
    for (const char* f : {"PC.LST", "PC.IDX", "PC.ATT"})
        dir.writeFile(f, "data");
    TNodeData pc = node(dir.win(), "PC", Computer);
    WriteNodeRecord(pc);
    DeleteNodeCache(pc, false);
    EXPECT_FALSE(dir.exists("PC.LST"));
    EXPECT_FALSE(dir.exists("PC.IDX"));
    EXPECT_TRUE(dir.exists("PC.ATT"));
    EXPECT_FALSE(pc.State & Deleted);

    TNodeData domain = node(dir.win(), "Dom", Domain);
    WriteNodeRecord(domain);
    std::filesystem::create_directories(dir.path("Dom/sub"));
    dir.writeFile("Dom/sub/ALL.NOD", "x");
    DeleteNodeCache(domain, true);
    EXPECT_FALSE(dir.exists("Dom"));
    EXPECT_TRUE(ReadStoredRecords(dir.win())[1]->State & Deleted);
}

// Keys spelled with escapes of the name codec: "¤2E¤2E" is a folder of that name inside
// the store, so a workgroup so named keeps its computers in its own node file and deleting
// it takes its own folder only; a key whose native form steps out is never loaded.
TEST(NodeFile, EscapedKeysStayInsideTheStore)
{
    StoreFolder dir;
    std::filesystem::create_directories(dir.path("Net"));
    const std::string dots = "\xC2\xA4" "2E" "\xC2\xA4" "2E";
    TNodeData group = node(dir.win("Net"), dots, Domain);
    WriteNodeRecord(group);
    ASSERT_TRUE(dir.exists("Net/" + dots));
    TNodeData pc = node(dir.win("Net") + dots + "\\", "PC1", Computer);
    WriteNodeRecord(pc);
    EXPECT_FALSE(dir.exists("ALL.NOD"));
    EXPECT_TRUE(dir.exists("Net/" + dots + "/ALL.NOD"));
    DeleteNodeCache(group, false);
    EXPECT_TRUE(dir.exists("Net/ALL.NOD"));
    EXPECT_FALSE(dir.exists("Net/" + dots));

    // A crafted node file: records whose keys spell "..", a NUL or a separator are left out.
    for (const std::string key : {std::string("\xC2\xA4~.."), std::string("a\xC2\xA4" "00"), std::string("x/y")}) {
        TNodeData crafted = node(dir.win("Net"), key, Computer);
        WriteNodeRecord(crafted);
    }
    TNodeList loaded;
    LoadNodeFile(dir.win("Net"), loaded, false);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0]->Key, dots);
}

TEST(NodeFile, SharingConflictsFailAtOnce)
{
    StoreFolder dir;
    TNodeData d = node(dir.win(), "K");
    WriteNodeRecord(d);
    const std::string sharing = Win32MessageText(Win32::SharingViolation);
    {
        int error = 0;
        auto writer = OpenFile(dir.win("ALL.NOD"), FileMode::ReadWrite, &error);
        ASSERT_TRUE(writer) << error;
        TNodeList list;
        EXPECT_EQ(errorOf([&] { LoadNodeFile(dir.win(), list, false); }), sharing);
        EXPECT_EQ(errorOf([&] { ReadNodeRecord(d); }), sharing);
        EXPECT_EQ(errorOf([&] { WriteNodeRecord(d); }), sharing);
    }
    {
        int error = 0;
        auto reader = OpenFile(dir.win("ALL.NOD"), FileMode::Read, &error);
        ASSERT_TRUE(reader) << error;
        TNodeList list;
        LoadNodeFile(dir.win(), list, false);  // reads share
        EXPECT_EQ(list.size(), 1u);
        EXPECT_EQ(errorOf([&] { WriteNodeRecord(d); }), sharing);
    }
    WriteNodeRecord(d);  // free again
}
