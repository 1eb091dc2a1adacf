#include "network/TPassManForm.h"

#include "app/SetupInfo.h"
#include "local/MessageBoxes.h"
#include "network/NetPassword.h"
#include "network/TPassForm.h"
#include "platform/Exception.h"
#include "platform/RegistryStore.h"
#include "resources/UiText.h"
#include "ui/Fonts.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>
#include <thread>

namespace {

constexpr int kMaskColumnWidth = 75;

QString qtext(const std::string& text) { return QString::fromStdString(text); }

QPushButton* button(QWidget* parent, const char* name, const QString& caption)
{
    auto* result = new QPushButton(caption, parent);
    result->setObjectName(QString::fromLatin1(name));
    result->setAutoDefault(false);
    return result;
}

} // namespace

TPassManForm::TPassManForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("PassManForm"));
    setWindowTitle(UiText("密碼管理員"));
    // A single border: the size is the dialog's own.
    setFixedSize(460, 300);

    auto* layout = new QVBoxLayout(this);
    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    TabSheet1 = new QWidget(PageControl);
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* page = new QVBoxLayout(TabSheet1);
    PassListView = new QTreeWidget(TabSheet1);
    PassListView->setObjectName(QStringLiteral("PassListView"));
    PassListView->setRootIsDecorated(false);
    PassListView->setItemsExpandable(false);
    PassListView->setUniformRowHeights(true);
    PassListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PassListView->setSelectionMode(QAbstractItemView::SingleSelection);
    PassListView->setHeaderLabels({UiText("位置"), UiText("使用者"), UiText("密碼")});
    QHeaderView* header = PassListView->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    header->setSectionResizeMode(2, QHeaderView::Fixed);
    header->resizeSection(2, kMaskColumnWidth);
    page->addWidget(PassListView);
    PageControl->addTab(TabSheet1, UiText("網芳密碼"));
    layout->addWidget(PageControl);

    auto* buttons = new QHBoxLayout;
    BitBtn4 = button(this, "BitBtn4", UiText("新增"));
    BitBtn1 = button(this, "BitBtn1", UiText("編輯"));
    BitBtn2 = button(this, "BitBtn2", UiText("刪除"));
    BitBtn3 = button(this, "BitBtn3", UiText("結束"));
    buttons->addStretch();
    for (QPushButton* b : {BitBtn4, BitBtn1, BitBtn2, BitBtn3})
        buttons->addWidget(b);
    layout->addLayout(buttons);

    connect(BitBtn4, &QPushButton::clicked, this, &TPassManForm::BitBtn4Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TPassManForm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TPassManForm::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TPassManForm::BitBtn3Click);
    connect(PassListView, &QTreeWidget::itemDoubleClicked, this, &TPassManForm::PassListViewDblClick);
}

void TPassManForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

bool TPassManForm::reload()
{
    PassListView->clear();
    m_entries.clear();
    std::vector<NetPasswordEntry> entries;
    try {
        entries = ListNetPasswords();
    } catch (const Exception& e) {
        ShowErrorText(this, UiText("無法開啟密碼的存放處：") + qtext(e.message()));
        return false;
    }
    for (NetPasswordEntry& entry : entries) {
        auto* row = new QTreeWidgetItem(PassListView);
        setRow(row, qtext(entry.location), qtext(entry.userName), qtext(entry.password));
        m_entries.insert(row, std::move(entry));
    }
    return true;
}

void TPassManForm::FormShow()
{
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    reload();
}

QTreeWidgetItem* TPassManForm::selectedRow() const
{
    const QList<QTreeWidgetItem*> selected = PassListView->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QTreeWidgetItem* TPassManForm::rowOf(const QString& location) const
{
    // The store compares value names without regard to ASCII case; so do the rows.
    const std::string folded = RegistryStore::foldCase(location.toStdString());
    for (int k = 0; k < PassListView->topLevelItemCount(); k++) {
        QTreeWidgetItem* row = PassListView->topLevelItem(k);
        if (RegistryStore::foldCase(row->text(0).toStdString()) == folded)
            return row;
    }
    return nullptr;
}

void TPassManForm::setRow(QTreeWidgetItem* row, const QString& location, const QString& userName,
                          const QString& password)
{
    row->setText(0, location);
    row->setText(1, userName);
    row->setText(2, QString::fromLatin1(PasswordMask));
    row->setData(2, PasswordRole, password);
}

bool TPassManForm::writeEntry(const QString& location, const QString& userName, const QString& password,
                              const NetPasswordEntry* old)
{
    if (location.isEmpty()) {
        ShowErrorText(this, UiText("請輸入電腦名稱，沒有位置的密碼不會被用到。"));
        return false;
    }
    try {
        if (old)
            DeleteNetPassword(*old);
        StoreNetPassword(location.toStdString(), userName.toStdString(), password.toStdString());
    } catch (const Exception& e) {
        ShowErrorText(this, UiText("無法寫入密碼：") + qtext(e.message()));
        return false;
    }
    return true;
}

void TPassManForm::BitBtn4Click()
{
    TPassForm form(this);
    form.setRemember(true);
    if (!form.showFor(QString()))
        return;
    if (!writeEntry(form.location(), form.userName(), form.password(), nullptr))
        return;
    if (NetPasswordsInKeyring()) {
        // The keyring names its items its own way: the list shows what it holds now.
        reload();
        PassListView->setCurrentItem(rowOf(form.location()));
        return;
    }
    // The store replaced an entry of the same location: its row is that entry's row.
    QTreeWidgetItem* row = rowOf(form.location());
    if (!row)
        row = new QTreeWidgetItem(PassListView);
    setRow(row, form.location(), form.userName(), form.password());
    m_entries.insert(row, NetPasswordEntry{form.location().toStdString(), form.userName().toStdString(),
                                           form.password().toStdString(), false, {}});
    PassListView->setCurrentItem(row);
}

void TPassManForm::BitBtn1Click()
{
    QTreeWidgetItem* row = selectedRow();
    if (!row)
        return;
    const QString oldLocation = row->text(0);
    TPassForm form(this);
    form.setRemember(true);
    form.setUserName(row->text(1));
    if (!form.showFor(oldLocation))
        return;
    const NetPasswordEntry old = m_entries.value(row);
    if (!writeEntry(form.location(), form.userName(), form.password(), &old))
        return;
    if (NetPasswordsInKeyring()) {
        reload();
        PassListView->setCurrentItem(rowOf(form.location()));
        return;
    }
    // Moved onto another entry's location: that entry was replaced, its row goes.
    QTreeWidgetItem* other = rowOf(form.location());
    if (other && other != row) {
        m_entries.remove(other);
        delete other;
    }
    setRow(row, form.location(), form.userName(), form.password());
    m_entries.insert(row, NetPasswordEntry{form.location().toStdString(), form.userName().toStdString(),
                                           form.password().toStdString(), false, {}});
}

void TPassManForm::BitBtn2Click()
{
    QTreeWidgetItem* row = selectedRow();
    if (!row || ShowMessageText(this, UiText("確定要刪除?"), MsgQuestion) != IdYes)
        return;
    try {
        DeleteNetPassword(m_entries.value(row));
    } catch (const Exception& e) {
        ShowErrorText(this, UiText("無法刪除密碼：") + qtext(e.message()));
        return;
    }
    m_entries.remove(row);
    delete row;
}

void TPassManForm::BitBtn3Click()
{
    close();
}

void TPassManForm::PassListViewDblClick(QTreeWidgetItem* item)
{
    if (item)
        BitBtn1Click();
}

void ShowPassManForm(QWidget* parent)
{
    TPassManForm form(parent);
    if (!SetupInfo.FontName.empty())
        form.setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize > 0 ? SetupInfo.FontSize : form.font().pointSize()));
    form.exec();
}

void CheckPasswordStore(QWidget* owner)
{
    struct Outcome {
        bool keyring = false;
        int moved = 0;
        std::string error;
    };
    QPointer<QWidget> window(owner);
    // Detached: the keyring may keep the bus waiting, and a program that closes meanwhile
    // must not wait for it. The answer comes back through the event loop.
    std::thread([window] {
        auto outcome = std::make_shared<Outcome>();
        outcome->keyring = NetPasswordsInKeyring();
        if (outcome->keyring)
            outcome->moved = MoveNetPasswordsToKeyring(&outcome->error);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(app, [window, outcome] {
            // The sites' files are the window thread's: their passwords move here.
            if (outcome->keyring)
                MoveFtpPasswordsToKeyring(SetupInfo.CachePath, &outcome->error);  // keeps a reason already there
            if (TellKeyringAbsentOnce(outcome->keyring))
                ShowMessageText(window, UiText("找不到桌面的鑰匙圈：網路密碼仍存放在設定檔中，只有您本人可讀。"),
                                MsgInformation);
            if (!outcome->error.empty())
                ShowErrorText(window, UiText("無法把密碼存入桌面的鑰匙圈：") + qtext(outcome->error));
        }, Qt::QueuedConnection);
    }).detach();
}
