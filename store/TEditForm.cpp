#include "store/TEditForm.h"

#include "local/MessageBoxes.h"
#include "resources/UiText.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "store/TContentForm.h"
#include "ui/PasswordEdit.h"
#include "ui/TIPEdit.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include <climits>
#include <optional>

namespace {

const char* const PageCaptions[] = {"編輯擴大網路芳鄰節點", "編輯FTP節點", "編輯書籤節點"};

/// A decimal integer with an optional sign that fits 32 bits; nothing else, not even blanks.
std::optional<int32_t> decimalInteger(const QString& text)
{
    int start = 0;
    if (!text.isEmpty() && (text[0] == QLatin1Char('-') || text[0] == QLatin1Char('+')))
        start = 1;
    if (start >= text.size())
        return std::nullopt;
    int64_t value = 0;
    for (int i = start; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > int64_t(INT32_MAX) + 1)
            return std::nullopt;
    }
    if (text[0] == QLatin1Char('-'))
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

QLineEdit* lineEdit(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 28);
    return edit;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption)
{
    auto* result = new QPushButton(UiText(caption), parent);
    result->setObjectName(QString::fromLatin1(name));
    result->setAutoDefault(false);
    return result;
}

QHBoxLayout* buttonRow(QPushButton* ok, QPushButton* cancel)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

QString qtext(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string stdtext(const QString& text)
{
    return text.toStdString();
}

} // namespace

TEditForm::TEditForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("EditForm"));
    setWindowTitle(UiText("編輯"));
    ShowError = [this](const QString& text) { ShowErrorText(this, text); };

    auto* layout = new QVBoxLayout(this);
    // The pages are chosen by the caller, never by the person: a page control without tabs.
    PageControl = new QStackedWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->addWidget(buildNetPage());
    PageControl->addWidget(buildFtpPage());
    PageControl->addWidget(buildBookmarkPage());
    layout->addWidget(PageControl);

    connect(NetNameEdit, &QLineEdit::textEdited, this, &TEditForm::NetNameEditChange);
    connect(NetOKButton, &QPushButton::clicked, this, &TEditForm::NetOKButtonClick);
    connect(FTPOKButton, &QPushButton::clicked, this, &TEditForm::FTPOKButtonClick);
    connect(BookmarkOKButton, &QPushButton::clicked, this, &TEditForm::BookmarkOKButtonClick);
    for (QPushButton* cancel : {NetCancelButton, FTPCancelButton, BookmarkCancelButton})
        connect(cancel, &QPushButton::clicked, this, &TEditForm::CancelButtonClick);
}

QWidget* TEditForm::buildNetPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Net"));
    auto* layout = new QVBoxLayout(page);
    auto* group = new QGroupBox(UiText("網路芳鄰電腦"), page);
    auto* form = new QFormLayout(group);
    NetNameEdit = lineEdit(group, "NetNameEdit");
    NetIPEdit = new TIPEdit(group);
    NetIPEdit->setObjectName(QStringLiteral("NetIPEdit"));
    NetCaptionEdit = lineEdit(group, "NetCaptionEdit");
    form->addRow(UiText("電腦名稱"), NetNameEdit);
    form->addRow(UiText("網路芳鄰IP"), NetIPEdit);
    form->addRow(UiText("標題名稱"), NetCaptionEdit);
    layout->addWidget(group);
    NetOKButton = button(page, "NetOKButton", "確定");
    NetCancelButton = button(page, "NetCancelButton", "取消");
    layout->addLayout(buttonRow(NetOKButton, NetCancelButton));
    return page;
}

QWidget* TEditForm::buildFtpPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("FTP"));
    auto* layout = new QVBoxLayout(page);
    auto* group = new QGroupBox(UiText("FTP電腦"), page);
    auto* form = new QFormLayout(group);
    FTPCaptionEdit = lineEdit(group, "FTPCaptionEdit");
    FTPHostEdit = lineEdit(group, "FTPHostEdit");
    FTPUserNameEdit = lineEdit(group, "FTPUserNameEdit");
    FTPPasswordEdit = lineEdit(group, "FTPPasswordEdit");
    UseStarPasswordEcho(FTPPasswordEdit);
    FTPProxyEdit = lineEdit(group, "FTPProxyEdit");
    FTPPortEdit = lineEdit(group, "FTPPortEdit");
    FTPProxyPortEdit = lineEdit(group, "FTPProxyPortEdit");
    form->addRow(UiText("標題名稱"), FTPCaptionEdit);
    form->addRow(UiText("網路位置"), FTPHostEdit);
    form->addRow(UiText("使用者名稱"), FTPUserNameEdit);
    form->addRow(UiText("密碼"), FTPPasswordEdit);
    form->addRow(QStringLiteral("Proxy"), FTPProxyEdit);
    form->addRow(QStringLiteral("Port"), FTPPortEdit);
    form->addRow(QStringLiteral("Proxy Port"), FTPProxyPortEdit);
    layout->addWidget(group);
    FTPOKButton = button(page, "FTPOKButton", "確定");
    FTPCancelButton = button(page, "FTPCancelButton", "取消");
    layout->addLayout(buttonRow(FTPOKButton, FTPCancelButton));
    return page;
}

QWidget* TEditForm::buildBookmarkPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Bookmark"));
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    BookmarkCaptionEdit = lineEdit(page, "BookmarkCaptionEdit");
    form->addRow(UiText("標題"), BookmarkCaptionEdit);
    layout->addLayout(form);
    auto* group = new QGroupBox(UiText("節點資訊"), page);
    auto* groupLayout = new QVBoxLayout(group);
    BookmarkNodeMemo = new QPlainTextEdit(group);
    BookmarkNodeMemo->setObjectName(QStringLiteral("BookmarkNodeMemo"));
    BookmarkNodeMemo->setReadOnly(true);
    BookmarkNodeMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    groupLayout->addWidget(BookmarkNodeMemo);
    layout->addWidget(group, 1);
    BookmarkOKButton = button(page, "BookmarkOKButton", "確定");
    BookmarkCancelButton = button(page, "BookmarkCancelButton", "取消");
    layout->addLayout(buttonRow(BookmarkOKButton, BookmarkCancelButton));
    return page;
}

void TEditForm::preparePage(int page, QTreeWidgetItem* node)
{
    if (page < NetPage || page > BookmarkPage)
        page = NetPage;
    PageControl->setCurrentIndex(page);
    // Only the page shown counts, so the dialog takes its size rather than that of the
    // largest page.
    for (int i = 0; i < PageControl->count(); ++i) {
        const QSizePolicy::Policy policy = i == page ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        PageControl->widget(i)->setSizePolicy(policy, policy);
    }
    adjustSize();
    setWindowTitle(UiText(PageCaptions[page]));
    QPushButton* okButtons[] = {NetOKButton, FTPOKButton, BookmarkOKButton};
    for (int i = 0; i < 3; ++i)
        okButtons[i]->setDefault(i == page);
    if (page == BookmarkPage) {
        BookmarkNodeMemo->clear();
        if (node) {
            // The shown text may carry the cached view's counters; the record holds the name.
            const TNodeData* data = GetNodeData(node);
            BookmarkCaption = data ? data->Caption : stdtext(node->text(0));
            QStringList lines;
            DescribeNode(node, lines);
            BookmarkNodeMemo->setPlainText(lines.join(QLatin1Char('\n')));
        }
    }
}

void TEditForm::ShowPage(int page, QTreeWidgetItem* node)
{
    preparePage(page, node);
    exec();
}

void TEditForm::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TEditForm::FormShow()
{
    NetNameEdit->setText(qtext(NetName));
    NetIPEdit->setValue(TextToIp(NetAddress));
    NetCaptionEdit->setText(qtext(NetCaption));
    FTPCaptionEdit->setText(qtext(FtpCaption));
    FTPHostEdit->setText(qtext(FtpHost));
    FTPUserNameEdit->setText(qtext(FtpUser));
    FTPPasswordEdit->setText(qtext(FtpPassword));
    FTPProxyEdit->setText(qtext(FtpProxy));
    FTPPortEdit->setText(QString::number(FtpPort));
    FTPProxyPortEdit->setText(QString::number(FtpProxyPort));
    BookmarkCaptionEdit->setText(qtext(BookmarkCaption));
    QLineEdit* first[] = {NetNameEdit, FTPCaptionEdit, BookmarkCaptionEdit};
    first[PageControl->currentIndex()]->setFocus(Qt::OtherFocusReason);
}

void TEditForm::NetNameEditChange(const QString& text)
{
    // The title follows the name as it is typed; a title typed earlier is overwritten.
    NetCaptionEdit->setText(text);
}

void TEditForm::refuse(const char* message, QLineEdit* edit)
{
    ShowError(UiText(message));
    edit->setFocus(Qt::OtherFocusReason);
}

void TEditForm::NetOKButtonClick()
{
    NetCaption = stdtext(NetCaptionEdit->text());
    if (NetCaption.empty())
        return refuse("標題不能空白", NetCaptionEdit);
    NetName = stdtext(NetNameEdit->text());
    if (NetName.empty())
        return refuse("電腦名稱不能空白", NetNameEdit);
    // The name becomes the remote name "\\NAME\": a separator in it would make the
    // computer a share or a folder of another one.
    if (NetName.find_first_of("\\/") != std::string::npos)
        return refuse("電腦名稱不能含有 \\ 或 /", NetNameEdit);
    NetAddress = IpToText(NetIPEdit->value());
    Accepted = true;
    accept();
}

void TEditForm::FTPOKButtonClick()
{
    FtpCaption = stdtext(FTPCaptionEdit->text());
    if (FtpCaption.empty())
        return refuse("標題不能空白", FTPCaptionEdit);
    FtpHost = stdtext(FTPHostEdit->text());
    FtpUser = stdtext(FTPUserNameEdit->text());
    FtpPassword = stdtext(FTPPasswordEdit->text());
    FtpProxy = stdtext(FTPProxyEdit->text());
    const std::optional<int32_t> port = decimalInteger(FTPPortEdit->text());
    const std::optional<int32_t> proxyPort = decimalInteger(FTPProxyPortEdit->text());
    if (!port || !proxyPort)
        return refuse("只允許數字型態", port ? FTPProxyPortEdit : FTPPortEdit);
    FtpPort = *port;
    FtpProxyPort = *proxyPort;
    Accepted = true;
    accept();
}

void TEditForm::BookmarkOKButtonClick()
{
    BookmarkCaption = stdtext(BookmarkCaptionEdit->text());
    Accepted = true;
    accept();
}

void TEditForm::CancelButtonClick()
{
    Accepted = false;
    reject();
}
