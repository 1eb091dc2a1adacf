#include "store/TContentForm.h"

#include "network/NetPassword.h"

#include "local/ErrorText.h"
#include "local/MessageBoxes.h"
#include "platform/DateTime.h"
#include "resources/UiText.h"
#include "store/FtpSiteBlock.h"
#include "store/NodeFile.h"
#include "store/NodeTree.h"
#include "store/TEditForm.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include <array>
#include <exception>
#include <utility>

namespace {

constexpr int kStrNodeBusy = 33026;

// The attribute labels in the order they are listed; each is followed by a blank.
const std::pair<uint16_t, const char*> AttributeLabels[] = {
    {Sys, "系統"},     {Update, "更新"}, {Domain, "網域"},   {Computer, "電腦"},  {Share, "分享"},
    {Drive, "磁碟"},   {Folder, "資料夾"}, {Container, "容器"}, {Bookmark, "書籤"},
};

QString qtext(const std::string& text)
{
    return QString::fromStdString(text);
}

/// The computer name of an expanded-network computer's remote name "\\NAME\".
std::string computerName(const std::string& remoteName)
{
    size_t start = 0;
    while (start < remoteName.size() && start < 2 && remoteName[start] == '\\')
        ++start;
    size_t end = remoteName.size();
    if (end > start && remoteName[end - 1] == '\\')
        --end;
    return remoteName.substr(start, end - start);
}

void resetChildren(QTreeWidgetItem* node)
{
    ClearNodeChildren(node);
    AddPlaceholderChild(node);
}

} // namespace

void DescribeNode(const QTreeWidgetItem* node, QStringList& lines)
{
    if (!node)
        return;
    lines << UiText("名稱:") + node->text(0);
    const TNodeData* data = GetNodeData(node);
    if (!data)
        return;
    const bool expanded = data->State & Expanded;
    const bool fromCache = data->State & FromCache;
    lines << (expanded ? UiText("子節點數:") + QString::number(node->childCount())
                       : UiText("子節點數:未知"));
    QString attributes = UiText("屬性:");
    for (const auto& [flag, label] : AttributeLabels)
        if (data->has(flag))
            attributes += UiText(label) + QLatin1Char(' ');
    lines << attributes;
    lines << UiText("目錄:") + qtext(data->RemoteName);
    lines << UiText("主機:") + qtext(data->Host);
    lines << (expanded ? UiText("狀態:展開") : UiText("狀態:未展開"));
    lines << (fromCache ? UiText("快取:使用中") : UiText("快取:未使用"));
    lines << UiText("快取路徑:") + qtext(data->StoreDir);
    if (fromCache)
        lines << UiText("建立日期:") + qtext(DateTimeText(data->Created));
}

TContentForm::TContentForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ContentForm"));
    setWindowTitle(UiText("內容"));
    ShowError = [this](const QString& text) { ShowErrorText(this, text); };
    ResetChildren = resetChildren;

    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(UiText("節點資訊"), this);
    auto* groupLayout = new QVBoxLayout(group);
    ContentMemo = new QPlainTextEdit(group);
    ContentMemo->setObjectName(QStringLiteral("ContentMemo"));
    ContentMemo->setReadOnly(true);
    ContentMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    groupLayout->addWidget(ContentMemo);
    layout->addWidget(group, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    OKBitBtn = new QPushButton(UiText("確定"), this);
    OKBitBtn->setObjectName(QStringLiteral("OKBitBtn"));
    OKBitBtn->setDefault(true);
    EditBitBtn = new QPushButton(UiText("編輯"), this);
    EditBitBtn->setObjectName(QStringLiteral("EditBitBtn"));
    EditBitBtn->setAutoDefault(false);
    EditBitBtn->setEnabled(false);
    buttons->addWidget(OKBitBtn);
    buttons->addWidget(EditBitBtn);
    layout->addLayout(buttons);
    resize(360, 300);

    connect(OKBitBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(EditBitBtn, &QPushButton::clicked, this, &TContentForm::EditBitBtnClick);
}

void TContentForm::prepare(QTreeWidgetItem* node)
{
    m_node = node;
    m_data = node ? GetNodeData(node) : nullptr;
    describe();
    const TNodeData* data = m_data;
    const bool editable = data
        && ((data->RootKind == ExpandedRoot && data->has(Computer)) || (data->RootKind == FtpRoot && data->has(Computer))
            || (data->has(Bookmark) && !data->has(Sys)));
    EditBitBtn->setEnabled(editable);
}

void TContentForm::ShowFor(QTreeWidgetItem* node)
{
    prepare(node);
    exec();
}

void TContentForm::describe()
{
    QStringList lines;
    DescribeNode(m_node, lines);
    ContentMemo->setPlainText(lines.join(QLatin1Char('\n')));
}

void TContentForm::EditBitBtnClick()
{
    if (!m_node || !m_data)
        return;
    try {
        TEditForm editor(this);
        editor.setFont(font());
        if (m_data->has(Computer) && m_data->RootKind == FtpRoot)
            editFtpSite(editor);
        else if (m_data->has(Computer) && m_data->RootKind == ExpandedRoot)
            editComputer(editor);
        else if (m_data->has(Bookmark) && !m_data->has(Sys))
            editBookmark(editor);
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    }
    // Whatever was written, the description shows the node as it is now.
    describe();
}

void TContentForm::editBookmark(TEditForm& editor)
{
    editor.BookmarkCaption = m_data->Caption;
    editor.ShowPage(TEditForm::BookmarkPage, m_node);
    if (!editor.Accepted)
        return;
    m_node->setText(0, qtext(editor.BookmarkCaption));
    m_data->Caption = editor.BookmarkCaption;
    WriteNodeRecord(*m_data);
}

bool TContentForm::refuseBusy()
{
    // The computer's or site's children are thrown away below; a task that works on one
    // of them would be left holding a freed node.
    std::string busy;
    if (FindBusyNode(m_node, busy))
        return false;
    ShowError(qtext(FormatMessageId(kStrNodeBusy, busy)));
    return true;
}

void TContentForm::editComputer(TEditForm& editor)
{
    if (refuseBusy())
        return;
    editor.NetCaption = m_data->Caption;
    editor.NetAddress = m_data->Host;
    editor.NetName = computerName(m_data->RemoteName);
    editor.ShowPage(TEditForm::NetPage, m_node);
    if (!editor.Accepted)
        return;
    m_node->setText(0, qtext(editor.NetCaption));
    m_data->Caption = editor.NetCaption;
    m_data->Host = editor.NetAddress;
    m_data->RemoteName = "\\\\" + editor.NetName + "\\";
    // The computer is enumerated afresh when it is next expanded.
    m_data->State &= ~(Expanded | OtherWriterFlag);
    WriteNodeRecord(*m_data);
    ResetChildren(m_node);
}

void TContentForm::editFtpSite(TEditForm& editor)
{
    if (refuseBusy())
        return;
    FtpSiteBlock block = ReadFtpSiteAttachment(*m_data);
    editor.FtpCaption = m_data->Caption;
    editor.FtpHost = block.Host;
    editor.FtpUser = block.User;
    editor.FtpProxy = block.ProxyHost;
    editor.FtpPort = block.Port;
    editor.FtpProxyPort = block.ProxyPort;
    editor.FtpPassword = block.Password;
    editor.ShowPage(TEditForm::FtpPage, m_node);
    if (!editor.Accepted)
        return;
    m_node->setText(0, qtext(editor.FtpCaption));
    m_data->Caption = editor.FtpCaption;
    block.Host = editor.FtpHost;
    block.User = editor.FtpUser;
    block.Password = editor.FtpPassword;
    block.ProxyHost = editor.FtpProxy;
    block.Port = editor.FtpPort;
    block.ProxyPort = editor.FtpProxyPort;
    m_data->Host = editor.FtpHost;
    m_data->State = 0;
    ResetChildren(m_node);
    WriteNodeRecord(*m_data);
    WriteFtpSiteAttachment(*m_data, block);
}
