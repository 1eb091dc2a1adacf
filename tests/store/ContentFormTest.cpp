#include <gtest/gtest.h>

#include "platform/DateTime.h"
#include "store/CacheListing.h"
#include "store/DialogDriver.h"
#include "store/NodeFile.h"
#include "store/NodeTree.h"
#include "store/StoreFolder.h"
#include "store/TContentForm.h"
#include "store/TEditForm.h"
#include "ui/TIPEdit.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <array>
#include <filesystem>

namespace {

QStringList describe(const QTreeWidgetItem* node)
{
    QStringList lines;
    DescribeNode(node, lines);
    return lines;
}

// A tree whose stored nodes lie in a temporary folder, written by the node store itself.
class ContentFormTest : public ::testing::Test {
protected:
    ContentFormTest()
    {
        form.ShowError = [this](const QString& text) { errors << text; };
    }
    ~ContentFormTest() override
    {
        for (int i = 0; i < tree.topLevelItemCount(); ++i)
            FreeNodeTree(tree.topLevelItem(i));
    }

    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const std::string& caption, uint8_t rootKind,
                             uint16_t attributes, uint32_t state)
    {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(&tree);
        auto* data = new TNodeData;
        data->Caption = caption;
        data->Key = caption;
        data->RootKind = rootKind;
        data->NodeAttributes = attributes;
        data->State = state;
        data->StoreDir = store.win();
        data->Created = 45000.5;
        ShowNodeData(data, item);
        return item;
    }
    QTreeWidgetItem* addStoredNode(const std::string& caption, uint8_t rootKind, uint16_t attributes, uint32_t state)
    {
        QTreeWidgetItem* item = addNode(nullptr, caption, rootKind, attributes, state);
        WriteNodeRecord(*GetNodeData(item));
        return item;
    }
    const TNodeData& stored(const TNodeData& data)
    {
        m_records = ReadStoredRecords(data.StoreDir);
        for (const auto& record : m_records)
            if (record->RecordOffset == data.RecordOffset)
                return *record;
        ADD_FAILURE() << "no record at " << data.RecordOffset;
        static TNodeData none;
        return none;
    }
    // Clicks "編輯" and lets `inside` work on the edit dialog it opens.
    bool edit(std::function<void(TEditForm&)> inside)
    {
        ModalDriver<TEditForm> driver(std::move(inside));
        form.EditBitBtn->click();
        return driver.opened();
    }

    StoreFolder store;
    QTreeWidget tree;
    TContentForm form;
    QStringList errors;
    TNodeList m_records;
};

TEST_F(ContentFormTest, DescriptionOfAnExpandedNodeFromTheCache)
{
    QTreeWidgetItem* node = addNode(nullptr, "網芳", NetRoot, Sys | Domain | Container, Expanded | FromCache | Idle);
    GetNodeData(node)->RemoteName = "Microsoft Windows Network";
    GetNodeData(node)->Host = "WORKGROUP";
    addNode(node, "A", NetRoot, Domain, Idle);
    addNode(node, "B", NetRoot, Domain, Idle);
    AddPlaceholderChild(node);
    EXPECT_EQ(describe(node), (QStringList{
                                  "名稱:網芳",
                                  "子節點數:3",
                                  "屬性:系統 網域 容器 ",
                                  "目錄:Microsoft Windows Network",
                                  "主機:WORKGROUP",
                                  "狀態:展開",
                                  "快取:使用中",
                                  QStringLiteral("快取路徑:") + QString::fromStdString(store.win()),
                                  "建立日期:2023/03/15 12:00:00",
                              }));
}

TEST_F(ContentFormTest, DescriptionOfALiveNodeNotExpandedHasNoDateAndUnknownChildren)
{
    QTreeWidgetItem* node = addNode(nullptr, "PC1", ExpandedRoot, Computer, Idle);
    AddPlaceholderChild(node);
    const QStringList lines = describe(node);
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[1], QStringLiteral("子節點數:未知"));
    EXPECT_EQ(lines[2], QStringLiteral("屬性:電腦 "));
    EXPECT_EQ(lines[5], QStringLiteral("狀態:未展開"));
    EXPECT_EQ(lines[6], QStringLiteral("快取:未使用"));
    for (const QString& line : lines)
        EXPECT_FALSE(line.startsWith(QStringLiteral("建立日期:")));

    // Every label in its fixed order, whatever order the bits have.
    GetNodeData(node)->NodeAttributes = 0x03FE;
    EXPECT_EQ(describe(node)[2], QStringLiteral("屬性:系統 更新 網域 電腦 分享 磁碟 資料夾 容器 書籤 "));
    GetNodeData(node)->NodeAttributes = 0;
    EXPECT_EQ(describe(node)[2], QStringLiteral("屬性:"));
    // A placeholder has no record: its name is all there is to say.
    EXPECT_EQ(describe(node->child(0)), QStringList{"名稱:"});
}

TEST_F(ContentFormTest, EditIsOfferedOnlyForNodesAPersonMade)
{
    struct Case {
        uint8_t rootKind;
        uint16_t attributes;
        bool editable;
    };
    const Case cases[] = {
        {ExpandedRoot, Computer, true},       {FtpRoot, Computer, true},          {BookmarkRoot, Bookmark, true},
        {BookmarkRoot, Bookmark | Domain, true}, {BookmarkRoot, Bookmark | Sys | Domain, false},
        {NetRoot, Computer, false},           {ExpandedRoot, Domain | Sys, false}, {ExpandedRoot, Folder, false},
        {LocalRoot, Drive | Folder, false},   {FtpRoot, Domain, false},
    };
    for (const Case& test : cases) {
        QTreeWidgetItem* node = addNode(nullptr, "n", test.rootKind, test.attributes, Idle);
        form.prepare(node);
        EXPECT_EQ(form.EditBitBtn->isEnabled(), test.editable) << int(test.rootKind) << " " << test.attributes;
        EXPECT_TRUE(form.ContentMemo->toPlainText().startsWith(QStringLiteral("名稱:n\n")));
    }
}

TEST_F(ContentFormTest, BookmarkEditRenamesTheRecordInPlace)
{
    QTreeWidgetItem* other = addStoredNode("其他", BookmarkRoot, Bookmark, Idle);
    QTreeWidgetItem* node = addStoredNode("舊書籤", BookmarkRoot, Bookmark | Domain, Idle);
    TNodeData& data = *GetNodeData(node);
    form.prepare(node);
    QString offered;
    EXPECT_TRUE(edit([&](TEditForm& editor) {
        offered = editor.BookmarkCaptionEdit->text();
        editor.BookmarkCaptionEdit->setText(QStringLiteral("新書籤"));
        editor.BookmarkOKButton->click();
    }));
    EXPECT_EQ(offered, QStringLiteral("舊書籤"));
    EXPECT_EQ(node->text(0), QStringLiteral("新書籤"));
    EXPECT_EQ(data.Caption, "新書籤");
    EXPECT_EQ(std::filesystem::file_size(store.path("ALL.NOD")), 2 * NodeRecordSize);
    EXPECT_EQ(stored(data).Caption, "新書籤");
    EXPECT_EQ(stored(data).Key, "舊書籤");  // the key names its folder: it stays
    EXPECT_EQ(stored(*GetNodeData(other)).Caption, "其他");
    EXPECT_TRUE(form.ContentMemo->toPlainText().startsWith(QStringLiteral("名稱:新書籤\n")));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ContentFormTest, CancelledEditWritesNothing)
{
    QTreeWidgetItem* node = addStoredNode("PC1", ExpandedRoot, Computer, Expanded | Idle);
    GetNodeData(node)->RemoteName = "\\\\PC1\\";
    WriteNodeRecord(*GetNodeData(node));
    new QTreeWidgetItem(node);
    const std::string before = store.readFile("ALL.NOD");
    form.prepare(node);
    EXPECT_TRUE(edit([](TEditForm& editor) {
        typeInto(editor.NetNameEdit, QStringLiteral("X"));
        editor.NetCancelButton->click();
    }));
    EXPECT_EQ(store.readFile("ALL.NOD"), before);
    EXPECT_EQ(node->text(0), QStringLiteral("PC1"));
    EXPECT_EQ(node->childCount(), 1);
    EXPECT_TRUE(GetNodeData(node)->State & Expanded);
}

TEST_F(ContentFormTest, ComputerEditRewritesNameAndAddressAndDropsTheChildren)
{
    QTreeWidgetItem* node = addNode(nullptr, "PC1", ExpandedRoot, Computer, Expanded | FromCache | Idle | OtherWriterFlag);
    TNodeData& data = *GetNodeData(node);
    data.RemoteName = "\\\\PC1\\";
    data.Host = "10.0.0.1";
    WriteNodeRecord(data);
    addNode(node, "SHARE", ExpandedRoot, Share | Folder, Idle);
    addNode(node, "DOCS", ExpandedRoot, Share | Folder, Idle);
    form.prepare(node);
    QString shownName;
    uint32_t shownAddress = 0;
    QString shownCaption;
    EXPECT_TRUE(edit([&](TEditForm& editor) {
        shownName = editor.NetNameEdit->text();
        shownAddress = editor.NetIPEdit->value();
        shownCaption = editor.NetCaptionEdit->text();
        editor.NetNameEdit->clear();
        typeInto(editor.NetNameEdit, QStringLiteral("PC2"));
        editor.NetIPEdit->setValue(0x0A000002u);
        editor.NetOKButton->click();
    }));
    EXPECT_EQ(shownName, QStringLiteral("PC1"));
    EXPECT_EQ(shownAddress, 0x0A000001u);
    EXPECT_EQ(shownCaption, QStringLiteral("PC1"));

    EXPECT_EQ(node->text(0), QStringLiteral("PC2"));
    EXPECT_EQ(data.Caption, "PC2");
    EXPECT_EQ(data.RemoteName, "\\\\PC2\\");
    EXPECT_EQ(data.Host, "10.0.0.2");
    EXPECT_EQ(data.State, uint32_t(Idle));
    ASSERT_EQ(node->childCount(), 1);
    EXPECT_EQ(GetNodeData(node->child(0)), nullptr);
    EXPECT_TRUE(node->child(0)->text(0).isEmpty());

    const TNodeData& record = stored(data);
    EXPECT_EQ(record.Caption, "PC2");
    EXPECT_EQ(record.RemoteName, "\\\\PC2\\");
    EXPECT_EQ(record.Host, "10.0.0.2");
    EXPECT_EQ(record.Key, "PC1");
    // Written before the children went: neither Expanded nor the other writers' flag.
    EXPECT_EQ(record.State, uint32_t(FromCache | Idle));
    EXPECT_EQ(std::filesystem::file_size(store.path("ALL.NOD")), NodeRecordSize);
}

TEST_F(ContentFormTest, BusyComputerIsNotEdited)
{
    QTreeWidgetItem* node = addStoredNode("PC1", ExpandedRoot, Computer, Expanded | Idle);
    addNode(node, "工作中", ExpandedRoot, Share, 0);
    const std::string before = store.readFile("ALL.NOD");
    form.prepare(node);
    EXPECT_FALSE(edit([](TEditForm& editor) { editor.NetOKButton->click(); }));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("工作中")));
    EXPECT_EQ(node->childCount(), 1);
    EXPECT_EQ(store.readFile("ALL.NOD"), before);
}

class FtpSiteEdit : public ContentFormTest {
protected:
    QTreeWidgetItem* addSite()
    {
        QTreeWidgetItem* node = addStoredNode("站台", FtpRoot, Computer, Expanded | FromCache | Idle);
        new QTreeWidgetItem(node, QStringList{QStringLiteral("pub")});
        return node;
    }
    void writeBlock(const TNodeData& data, const FtpSiteBlock& block)
    {
        std::array<unsigned char, FtpSiteBlockSize> bytes{};
        EncodeFtpSiteBlock(block, bytes.data());
        WriteNodeAttachment(data, bytes.data(), bytes.size());
    }
    FtpSiteBlock readBlock(const TNodeData& data)
    {
        std::array<unsigned char, FtpSiteBlockSize> bytes{};
        ReadNodeAttachment(data, bytes.data(), bytes.size());
        return DecodeFtpSiteBlock(bytes.data());
    }
};

TEST_F(FtpSiteEdit, EditRewritesTheBlockAndTheRecord)
{
    QTreeWidgetItem* node = addSite();
    TNodeData& data = *GetNodeData(node);
    writeBlock(data, {"ftp.lan", "bob", "secret", "proxy.lan", 2121, 3128});
    form.prepare(node);
    QStringList shown;
    const std::string longHost(200, 'h');
    EXPECT_TRUE(edit([&](TEditForm& editor) {
        shown = QStringList{editor.FTPCaptionEdit->text(), editor.FTPHostEdit->text(),  editor.FTPUserNameEdit->text(),
                            editor.FTPPasswordEdit->text(), editor.FTPProxyEdit->text(), editor.FTPPortEdit->text(),
                            editor.FTPProxyPortEdit->text()};
        editor.FTPCaptionEdit->setText(QStringLiteral("新站台"));
        editor.FTPHostEdit->setText(QString::fromStdString(longHost));
        editor.FTPUserNameEdit->setText(QStringLiteral("使用者"));
        editor.FTPPasswordEdit->setText(QStringLiteral("pw"));
        editor.FTPProxyEdit->clear();
        editor.FTPPortEdit->setText(QStringLiteral("0"));
        editor.FTPProxyPortEdit->setText(QStringLiteral("21"));
        editor.FTPOKButton->click();
    }));
    EXPECT_EQ(shown, (QStringList{"站台", "ftp.lan", "bob", "secret", "proxy.lan", "2121", "3128"}));

    EXPECT_EQ(node->text(0), QStringLiteral("新站台"));
    EXPECT_EQ(data.Host, longHost);
    EXPECT_EQ(data.State, uint32_t(Idle));
    ASSERT_EQ(node->childCount(), 1);
    EXPECT_EQ(GetNodeData(node->child(0)), nullptr);

    EXPECT_EQ(std::filesystem::file_size(store.path("站台.ATT")), FtpSiteBlockSize);
    const FtpSiteBlock block = readBlock(data);
    EXPECT_EQ(block.Host, std::string(127, 'h'));
    EXPECT_EQ(block.User, "使用者");
    EXPECT_EQ(block.Password, "pw");
    EXPECT_EQ(block.ProxyHost, "");
    EXPECT_EQ(block.Port, 0);
    EXPECT_EQ(block.ProxyPort, 21);

    const TNodeData& record = stored(data);
    EXPECT_EQ(record.Caption, "新站台");
    EXPECT_EQ(record.Host, std::string(127, 'h'));
    EXPECT_EQ(record.State, uint32_t(Idle));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(FtpSiteEdit, MissingOrShortBlockIsReportedBeforeTheDialogOpens)
{
    QTreeWidgetItem* node = addSite();
    const std::string before = store.readFile("ALL.NOD");
    form.prepare(node);
    EXPECT_FALSE(edit([](TEditForm& editor) { editor.FTPOKButton->click(); }));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_FALSE(errors[0].isEmpty());

    store.writeFile("站台.ATT", std::string(100, 'x'));
    EXPECT_FALSE(edit([](TEditForm& editor) { editor.FTPOKButton->click(); }));
    ASSERT_EQ(errors.size(), 2);
    EXPECT_EQ(errors[1], QStringLiteral("Read Error"));
    EXPECT_EQ(store.readFile("ALL.NOD"), before);
    EXPECT_EQ(store.readFile("站台.ATT"), std::string(100, 'x'));
    EXPECT_EQ(node->text(0), QStringLiteral("站台"));
    EXPECT_EQ(node->child(0)->text(0), QStringLiteral("pub"));
}

} // namespace
