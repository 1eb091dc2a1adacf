// The two tool bars, their drop-down menus and the commands that style them.
#include "mainwindow/TMainForm.h"

#include "resources/UiText.h"

#include "app/SetupInfo.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace {

// Theme icons by their freedesktop names, with the style's own pictures where a theme lacks
// them (a bare window manager session has no icon theme at all).
QIcon themeIcon(const char* name)
{
    static const std::pair<const char*, QStyle::StandardPixmap> fallbacks[] = {
        {"go-previous", QStyle::SP_ArrowBack},         {"go-next", QStyle::SP_ArrowForward},
        {"system-file-manager", QStyle::SP_DirIcon},   {"drive-harddisk", QStyle::SP_DriveHDIcon},
        {"view-refresh", QStyle::SP_BrowserReload},    {"folder-download", QStyle::SP_ArrowDown},
        {"document-print-preview", QStyle::SP_FileDialogContentsView},
        {"user-bookmarks", QStyle::SP_DirLinkIcon},    {"system-search", QStyle::SP_FileDialogDetailedView},
    };
    QStyle::StandardPixmap fallback = QStyle::SP_FileIcon;
    for (const auto& [iconName, pixmap] : fallbacks)
        if (qstrcmp(iconName, name) == 0)
            fallback = pixmap;
    return QIcon::fromTheme(QString::fromLatin1(name), QApplication::style()->standardIcon(fallback));
}

QMenu* makePopup(const char* name, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

} // namespace

QToolButton* TMainForm::addToolButton(const char* name, const char* caption, const char* hint, const char* iconName)
{
    auto* button = new QToolButton(ToolBar1);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(UiText(caption));
    if (hint) {
        // A hint "short|long": the short part is the tip, the long part goes to the status bar.
        const QString text = UiText(hint);
        button->setToolTip(text.section(QLatin1Char('|'), 0, 0));
        button->setStatusTip(text);
    }
    const QIcon icon = themeIcon(iconName);
    button->setIcon(icon);
    m_buttonIcons.insert(button, icon);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    // Commands join as their features land; a button without one stays disabled.
    button->setEnabled(false);
    ToolBar1->addWidget(button);
    return button;
}

void TMainForm::buildToolBars()
{
    ToolBar1->setIconSize(QSize(24, 24));

    PriorPopupMenu = makePopup("PriorPopupMenu", this);
    PriorToolButton = addToolButton("PriorToolButton", "前頁", "前頁|移向前一頁", "go-previous");
    PriorToolButton->setMenu(PriorPopupMenu);
    NextPopupMenu = makePopup("NextPopupMenu", this);
    NextToolButton = addToolButton("NextToolButton", "後頁", nullptr, "go-next");
    NextToolButton->setMenu(NextPopupMenu);

    ExpandPopupMenu = makePopup("ExpandPopupMenu", this);
    addCommand(ExpandPopupMenu, "N63", "展開我的電腦");
    addCommand(ExpandPopupMenu, "N60", "展開網芳至電腦群");
    addCommand(ExpandPopupMenu, "N61", "展開網芳至資料夾");
    addCommand(ExpandPopupMenu, "N65", "展開擴大網芳至電腦");
    addCommand(ExpandPopupMenu, "N66", "展開擴大網芳至資料夾");
    addCommand(ExpandPopupMenu, "FTP1", "展開FTP至電腦");
    addCommand(ExpandPopupMenu, "FTP2", "展開FTP至資料夾");
    ExpandToolButton = addToolButton("ExpandToolButton", "展開", nullptr, "format-indent-more");
    ExpandToolButton->setMenu(ExpandPopupMenu);

    FolderPopupMenu = makePopup("FolderPopupMenu", this);
    addCommand(FolderPopupMenu, "N40", "桌面");
    addCommand(FolderPopupMenu, "N42", "我的電腦");
    addCommand(FolderPopupMenu, "N45", "我的文件");
    addCommand(FolderPopupMenu, "N44", "網路芳鄰");
    addCommand(FolderPopupMenu, "N56", "我的最愛");
    addCommand(FolderPopupMenu, "Intern1", "網際網路");
    addCommand(FolderPopupMenu, "N49", "最近開啟文件");
    addCommand(FolderPopupMenu, "N50", "資源回收筒");
    addCommand(FolderPopupMenu, "N32", "清理資源回收筒");
    QMenu* settings = FolderPopupMenu->addMenu(UiText("設定資料夾"));
    settings->setObjectName(QStringLiteral("SettingsFolderMenu"));
    addCommand(settings, "N37", "設定螢幕顯示器");
    addCommand(settings, "N38", "設定系統");
    addCommand(settings, "N74", "設定網路");
    addCommand(settings, "N75", "設定網際網路");
    addCommand(settings, "N41", "控制台");
    addCommand(settings, "N46", "印表機");
    addCommand(settings, "N43", "字形資料夾");
    addCommand(FolderPopupMenu, "N58", "尋找");
    addCommand(FolderPopupMenu, "N55", "傳送");
    QMenu* programs = FolderPopupMenu->addMenu(UiText("程式集資料夾"));
    programs->setObjectName(QStringLiteral("ProgramsFolderMenu"));
    addCommand(programs, "N54", "開始");
    addCommand(programs, "N48", "啟動");
    addCommand(programs, "N47", "程式集");
    addCommand(programs, "N57", "應用程式資料");
    ExploreToolButton = addToolButton("ExploreToolButton", "總管", "檔案總管", "system-file-manager");
    ExploreToolButton->setMenu(FolderPopupMenu);

    CacheToolButton = addToolButton("CacheToolButton", "快取", "快取|開啟快取", "drive-harddisk");
    ThreadToolButton = addToolButton("ThreadToolButton", "行程", "顯示行程|顯示當前在背景執行的行程", "system-run");
    ToolButton10 = addToolButton("ToolButton10", "收集", "收集續傳檔案", "folder-download");
    ToolButton5 = addToolButton("ToolButton5", "更新", "建立更新快取", "view-refresh");
    ToolButton6 = addToolButton("ToolButton6", "搜尋", "找尋檔案", "system-search");
    ToolButton1 = addToolButton("ToolButton1", "精靈", nullptr, "applications-utilities");
    PreviewToolButton = addToolButton("PreviewToolButton", "預覽", nullptr, "document-print-preview");
    // The preview pane is kept hidden in this version, and its button with it.
    ToolBar1->actions().last()->setVisible(false);

    for (QToolButton* button : {PriorToolButton, NextToolButton, ExpandToolButton, ExploreToolButton})
        button->setPopupMode(QToolButton::MenuButtonPopup);

    BookmarkPopupMenu = makePopup("BookmarkPopupMenu", this);
    addCommand(BookmarkPopupMenu, "N99", "新增書籤(&A)");
    addCommand(BookmarkPopupMenu, "R2", "重載書籤(&R)");
    addCommand(BookmarkPopupMenu, "BookmarkNewFtpSite", "新增 FTP 站台…");
    BookmarkPopupMenu->addSeparator();
    AddressToolButton = new QToolButton(ToolBar2);
    AddressToolButton->setObjectName(QStringLiteral("AddressToolButton"));
    AddressToolButton->setText(UiText("書籤"));
    AddressToolButton->setIcon(themeIcon("user-bookmarks"));
    AddressToolButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    AddressToolButton->setMenu(BookmarkPopupMenu);
    AddressToolButton->setPopupMode(QToolButton::MenuButtonPopup);
    AddressToolButton->setAutoRaise(true);
    AddressToolButton->setEnabled(false);
    ToolBar2->addWidget(AddressToolButton);
    AddressComboBox = new QComboBox(ToolBar2);
    AddressComboBox->setObjectName(QStringLiteral("AddressComboBox"));
    AddressComboBox->setEditable(true);
    AddressComboBox->setInsertPolicy(QComboBox::NoInsert);
    // The address box takes the width the bookmark button leaves.
    AddressComboBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    ToolBar2->addWidget(AddressComboBox);
}

void TMainForm::setToolBarStyle(int style)
{
    QAction* entries[] = {m_F2, m_N5, m_N6};
    entries[style]->setChecked(true);
    if (style == 2) {
        CoolBar->hide();
    } else {
        const bool flat = style == 0;
        for (QToolBar* bar : {ToolBar1, ToolBar2})
            for (QToolButton* button : bar->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
                button->setAutoRaise(flat);
        CoolBar->show();
    }
    SetupInfo.ButtonStyle = uint8_t(style);
}

void TMainForm::F2Click()
{
    setToolBarStyle(0);
}

void TMainForm::N5Click()
{
    setToolBarStyle(1);
}

void TMainForm::N6Click()
{
    setToolBarStyle(2);
}

void TMainForm::applyToolButtonLook()
{
    const bool glyph = m_N7->isChecked();
    const bool text = m_N8->isChecked();
    const Qt::ToolButtonStyle style = glyph && text ? Qt::ToolButtonTextUnderIcon
        : text                                      ? Qt::ToolButtonTextOnly
                                                    : Qt::ToolButtonIconOnly;
    for (auto it = m_buttonIcons.cbegin(); it != m_buttonIcons.cend(); ++it) {
        it.key()->setIcon(glyph ? it.value() : QIcon());
        it.key()->setToolButtonStyle(style);
    }
}

void TMainForm::N7Click()
{
    m_N7->setChecked(!m_N7->isChecked());
    applyToolButtonLook();
    SetupInfo.ShowGlyph = m_N7->isChecked();
}

void TMainForm::N8Click()
{
    m_N8->setChecked(!m_N8->isChecked());
    applyToolButtonLook();
    SetupInfo.ShowText = m_N8->isChecked();
}
