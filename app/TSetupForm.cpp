#include "app/TSetupForm.h"

#include "app/LanguageSetting.h"
#include "platform/TextCodec.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "ui/Fonts.h"
#include "ui/TColorComboBox.h"
#include "ui/TListView.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kStrStartFolder = 33101;
constexpr int kMaxShellLimit = 99;
constexpr int kColourGroups = 5;
// The entries of the language box and what each stores.
constexpr const char* kLanguageChoices[] = {"", "CHT", "EN"};

QCheckBox* checkBox(const char* name, const char* caption, QWidget* parent)
{
    auto* box = new QCheckBox(UiText(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QPushButton* button(const char* name, const char* caption, QWidget* parent)
{
    auto* pushButton = new QPushButton(UiText(caption), parent);
    pushButton->setObjectName(QString::fromLatin1(name));
    return pushButton;
}

// A group box of radio buttons whose ids are their item indexes.
QButtonGroup* radioGroup(const char* name, const char* caption, std::initializer_list<const char*> items,
                         QWidget* parent, QLayout* into)
{
    auto* box = new QGroupBox(UiText(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(box);
    auto* group = new QButtonGroup(box);
    int index = 0;
    for (const char* item : items) {
        auto* radio = new QRadioButton(UiText(item), box);
        group->addButton(radio, index++);
        layout->addWidget(radio);
    }
    into->addWidget(box);
    return group;
}

void selectRadio(QButtonGroup* group, int value)
{
    // An out-of-range value leaves no item selected.
    group->setExclusive(false);
    for (QAbstractButton* radio : group->buttons())
        radio->setChecked(false);
    group->setExclusive(true);
    if (QAbstractButton* radio = group->button(value))
        radio->setChecked(true);
}

QString fontText(const std::string& name, int size)
{
    return QStringLiteral("%1, %2").arg(QString::fromStdString(name)).arg(size);
}

} // namespace

TSetupForm::TSetupForm(QWidget* parent, TListView* list, QTreeWidget* tree)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint),
      m_list(list),
      m_tree(tree)
{
    setObjectName(QStringLiteral("SetupForm"));
    setWindowTitle(UiText("設定"));
    AskFont = [](QWidget* owner, QFont& font) {
        bool ok = false;
        const QFont chosen = QFontDialog::getFont(&ok, font, owner);
        if (ok)
            font = chosen;
        return ok;
    };
    AskFolder = [](QWidget* owner, const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(owner, title, start);
    };

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));

    // "版面": tool bars, view style, the general font and what the window shows.
    auto* layoutPage = new QWidget(PageControl);
    auto* layoutColumns = new QHBoxLayout(layoutPage);
    ToolBarRadioGroup = radioGroup("ToolBarRadioGroup", "工具列", {"平面按鍵", "立體按鍵", "隱藏"}, layoutPage, layoutColumns);
    ListViewRadioGroup = radioGroup("ListViewRadioGroup", "檢視", {"大型圖示", "小型圖示", "清單", "詳細資料"}, layoutPage,
                                    layoutColumns);
    auto* showBox = new QGroupBox(UiText("顯示"), layoutPage);
    auto* showLayout = new QVBoxLayout(showBox);
    BitBtn3 = button("BitBtn3", "字型", showBox);
    GlyphCheckBox = checkBox("GlyphCheckBox", "按鍵圖示", showBox);
    TextCheckBox = checkBox("TextCheckBox", "按鍵文字", showBox);
    StatusBarCheckBox = checkBox("StatusBarCheckBox", "狀態列", showBox);
    PanelCheckBox = checkBox("PanelCheckBox", "位置說明", showBox);
    for (QWidget* control : std::initializer_list<QWidget*>{BitBtn3, GlyphCheckBox, TextCheckBox, StatusBarCheckBox, PanelCheckBox})
        showLayout->addWidget(control);
    showLayout->addStretch(1);
    layoutColumns->addWidget(showBox);
    PageControl->addTab(layoutPage, UiText("版面"));

    // "進階": behaviour switches, the job limit, the start folder and the language.
    auto* advancedPage = new QWidget(PageControl);
    auto* advanced = new QFormLayout(advancedPage);
    AutoHideCheckBox = checkBox("AutoHideCheckBox", "隱藏連線視窗", advancedPage);
    AutoScrollCheckBox = checkBox("AutoScrollCheckBox", "樹狀目錄自動捲頁", advancedPage);
    CheckBox6 = checkBox("CheckBox6", "FTP使用續傳", advancedPage);
    CheckBox6->setEnabled(false);
    AutoCacheCheckBox = checkBox("AutoCacheCheckBox", "瀏覽時自動記錄快取", advancedPage);
    AutoExpandCheckBox = checkBox("AutoExpandCheckBox", "選取時，自動展開資料夾", advancedPage);
    for (QWidget* control : std::initializer_list<QWidget*>{AutoHideCheckBox, AutoScrollCheckBox, CheckBox6,
                                                             AutoCacheCheckBox, AutoExpandCheckBox})
        advanced->addRow(control);
    ShellLimitCSpinEdit = new QSpinBox(advancedPage);
    ShellLimitCSpinEdit->setObjectName(QStringLiteral("ShellLimitCSpinEdit"));
    ShellLimitCSpinEdit->setRange(0, kMaxShellLimit);
    advanced->addRow(UiText("開啟工作數量警告上限"), ShellLimitCSpinEdit);
    StartDirectoryEdit = new QLineEdit(advancedPage);
    StartDirectoryEdit->setObjectName(QStringLiteral("StartDirectoryEdit"));
    BitBtn4 = button("BitBtn4", "瀏覽", advancedPage);
    auto* startRow = new QHBoxLayout;
    startRow->addWidget(StartDirectoryEdit, 1);
    startRow->addWidget(BitBtn4);
    advanced->addRow(UiText("開始路徑"), startRow);
    LanguageComboBox = new QComboBox(advancedPage);
    LanguageComboBox->setObjectName(QStringLiteral("LanguageComboBox"));
    LanguageComboBox->addItems({UiText("依系統設定"), QStringLiteral("中文"), QStringLiteral("English")});
    advanced->addRow(UiText("介面語言(重新啟動後生效)"), LanguageComboBox);
    PageControl->addTab(advancedPage, UiText("進階"));

    // "樹狀目錄" and "清單目錄": the two fonts, and the list's colour groups.
    auto* treePage = new QWidget(PageControl);
    auto* treeLayout = new QVBoxLayout(treePage);
    BitBtn6 = button("BitBtn6", "字型", treePage);
    TreeFontLabel = new QLabel(treePage);
    treeLayout->addWidget(BitBtn6, 0, Qt::AlignLeft);
    treeLayout->addWidget(TreeFontLabel);
    treeLayout->addStretch(1);
    PageControl->addTab(treePage, UiText("樹狀目錄"));

    auto* listPage = new QWidget(PageControl);
    auto* listLayout = new QVBoxLayout(listPage);
    BitBtn5 = button("BitBtn5", "字型", listPage);
    ListFontLabel = new QLabel(listPage);
    listLayout->addWidget(BitBtn5, 0, Qt::AlignLeft);
    listLayout->addWidget(ListFontLabel);
    auto* groups = new QGroupBox(UiText("副檔名與顏色"), listPage);
    auto* grid = new QGridLayout(groups);
    for (int i = 0; i < kColourGroups; ++i) {
        CheckBoxes[i] = new QCheckBox(UiText("使用"), groups);
        CheckBoxes[i]->setObjectName(QStringLiteral("CheckBox%1").arg(i + 1));
        Edits[i] = new QLineEdit(groups);
        Edits[i]->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
        ColorComboBoxes[i] = new TColorComboBox(groups);
        ColorComboBoxes[i]->setObjectName(QStringLiteral("ColorComboBox%1").arg(i + 1));
        grid->addWidget(CheckBoxes[i], i, 0);
        grid->addWidget(Edits[i], i, 1);
        grid->addWidget(ColorComboBoxes[i], i, 2);
        const int group = i + 1;
        connect(CheckBoxes[i], &QCheckBox::toggled, this, [this, group] { colourGroupChanged(group); });
        connect(Edits[i], &QLineEdit::textChanged, this, [this, group] { colourGroupChanged(group); });
        connect(ColorComboBoxes[i], &TColorComboBox::colorValueChanged, this, [this, group] { colourGroupChanged(group); });
    }
    listLayout->addWidget(groups);
    listLayout->addStretch(1);
    PageControl->addTab(listPage, UiText("清單目錄"));

    BitBtn1 = button("BitBtn1", "確定", this);
    BitBtn1->setDefault(true);
    BitBtn2 = button("BitBtn2", "放棄", this);
    BitBtn7 = button("BitBtn7", "預設", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* pushButton : {BitBtn1, BitBtn2, BitBtn7})
        buttons->addWidget(pushButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl);
    layout->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, &TSetupForm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TSetupForm::reject);
    connect(BitBtn7, &QPushButton::clicked, this, &TSetupForm::BitBtn7Click);
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(GeneralFont); });
    connect(BitBtn6, &QPushButton::clicked, this, [this] { BitBtn3Click(TreeFont); });
    connect(BitBtn5, &QPushButton::clicked, this, [this] { BitBtn3Click(ListFont); });
    connect(BitBtn4, &QPushButton::clicked, this, &TSetupForm::BitBtn4Click);
}

void TSetupForm::showEvent(QShowEvent* event)
{
    if (!m_shownOnce) {
        m_shownOnce = true;
        FormShow();
    }
    QDialog::showEvent(event);
}

void TSetupForm::FormShow()
{
    m_before = SetupInfo;
    // The dialog shows what is stored, not what the window changed since the last save.
    LoadSetupInfo(SetupInfo);
    fillControls();
    const std::string language = UpperAscii(LoadLanguageSetting());
    LanguageComboBox->setCurrentIndex(language == "CHT" ? 1 : language == "EN" ? 2 : 0);
}

void TSetupForm::fillControls()
{
    m_filling = true;
    selectRadio(ToolBarRadioGroup, SetupInfo.ButtonStyle);
    selectRadio(ListViewRadioGroup, SetupInfo.ViewStyle);
    GlyphCheckBox->setChecked(SetupInfo.ShowGlyph);
    TextCheckBox->setChecked(SetupInfo.ShowText);
    StatusBarCheckBox->setChecked(SetupInfo.ShowStatusBar);
    PanelCheckBox->setChecked(SetupInfo.ShowPanel);
    AutoHideCheckBox->setChecked(SetupInfo.AutoHide);
    AutoScrollCheckBox->setChecked(SetupInfo.AutoScroll);
    AutoCacheCheckBox->setChecked(SetupInfo.AutoCache);
    AutoExpandCheckBox->setChecked(SetupInfo.AutoExpand);
    ShellLimitCSpinEdit->setValue(SetupInfo.ShellWorkLimit);
    StartDirectoryEdit->setText(QString::fromStdString(SetupInfo.StartDirectory));
    for (int i = 0; i < kColourGroups; ++i) {
        CheckBoxes[i]->setChecked(SetupInfo.asExt(i + 1));
        Edits[i]->setText(QString::fromStdString(SetupInfo.ext(i + 1)));
        ColorComboBoxes[i]->setColorValue(SetupInfo.color(i + 1));
    }
    showFontNames();
    m_filling = false;
}

void TSetupForm::showFontNames()
{
    BitBtn3->setToolTip(fontText(SetupInfo.FontName, SetupInfo.FontSize));
    TreeFontLabel->setText(fontText(SetupInfo.TreeViewFontName, SetupInfo.TreeViewFontSize));
    TreeFontLabel->setFont(SettingsFont(SetupInfo.TreeViewFontName, SetupInfo.TreeViewFontSize));
    ListFontLabel->setText(fontText(SetupInfo.ListViewFontName, SetupInfo.ListViewFontSize));
    ListFontLabel->setFont(SettingsFont(SetupInfo.ListViewFontName, SetupInfo.ListViewFontSize));
}

void TSetupForm::colourGroupChanged(int group)
{
    if (m_filling)
        return;
    const int i = group - 1;
    SetupInfo.asExt(group) = CheckBoxes[i]->isChecked();
    SetupInfo.ext(group) = Edits[i]->text().toStdString();
    SetupInfo.color(group) = ColorComboBoxes[i]->colorValue();
    // The list asks the record for its colours as it paints.
    if (m_list && m_list->currentView())
        m_list->currentView()->viewport()->update();
}

void TSetupForm::applyFont(QWidget* widget, const QFont& font)
{
    if (!widget)
        return;
    bool known = false;
    for (const auto& [window, original] : m_originalFonts)
        known = known || window == widget;
    if (!known)
        m_originalFonts.emplace_back(widget, widget->font());
    widget->setFont(font);
}

void TSetupForm::restoreFonts()
{
    for (const auto& [window, original] : m_originalFonts) {
        if (window)
            window->setFont(original);
    }
    m_originalFonts.clear();
}

void TSetupForm::BitBtn3Click(int tag)
{
    std::string* name = nullptr;
    int32_t* size = nullptr;
    switch (tag) {
    case GeneralFont: name = &SetupInfo.FontName; size = &SetupInfo.FontSize; break;
    case TreeFont: name = &SetupInfo.TreeViewFontName; size = &SetupInfo.TreeViewFontSize; break;
    case ListFont: name = &SetupInfo.ListViewFontName; size = &SetupInfo.ListViewFontSize; break;
    default: return;
    }
    // The dialog starts at the font the windows are drawn with, under its installed name:
    // a name only the settings know ("MS Sans Serif") would select nothing in its list.
    QFont font = InstalledFont(SettingsFont(*name, *size));
    if (!AskFont(this, font))
        return;
    *name = font.family().toStdString();
    *size = font.pointSize() > 0 ? font.pointSize() : *size;
    const QFont chosen = SettingsFont(*name, *size);
    if (tag == GeneralFont) {
        for (QWidget* window : QApplication::topLevelWidgets())
            applyFont(window, chosen);
    } else {
        applyFont(tag == TreeFont ? static_cast<QWidget*>(m_tree.data()) : static_cast<QWidget*>(m_list.data()), chosen);
    }
    showFontNames();
}

void TSetupForm::BitBtn4Click()
{
    const QString picked = AskFolder(this, QString::fromStdString(LoadStr(kStrStartFolder)), StartDirectoryEdit->text());
    if (!picked.isEmpty())
        StartDirectoryEdit->setText(picked);
}

void TSetupForm::BitBtn1Click()
{
    m_confirmed = true;
    // The fonts are in the record already: each font button stores its own font, so the
    // general font is never replaced by the tree's or the list's.
    SetupInfo.AutoCache = AutoCacheCheckBox->isChecked();
    SetupInfo.AutoExpand = AutoExpandCheckBox->isChecked();
    if (ListViewRadioGroup->checkedId() >= 0)
        SetupInfo.ViewStyle = uint8_t(ListViewRadioGroup->checkedId());
    if (ToolBarRadioGroup->checkedId() >= 0)
        SetupInfo.ButtonStyle = uint8_t(ToolBarRadioGroup->checkedId());
    SetupInfo.ShowGlyph = GlyphCheckBox->isChecked();
    SetupInfo.ShowText = TextCheckBox->isChecked();
    SetupInfo.ShowStatusBar = StatusBarCheckBox->isChecked();
    SetupInfo.ShowPanel = PanelCheckBox->isChecked();
    SetupInfo.AutoHide = AutoHideCheckBox->isChecked();
    SetupInfo.AutoScroll = AutoScrollCheckBox->isChecked();
    SetupInfo.ShellWorkLimit = ShellLimitCSpinEdit->value();
    SetupInfo.StartDirectory = StartDirectoryEdit->text().toStdString();
    for (int group = 1; group <= kColourGroups; ++group) {
        SetupInfo.asExt(group) = CheckBoxes[group - 1]->isChecked();
        SetupInfo.ext(group) = Edits[group - 1]->text().toStdString();
        SetupInfo.color(group) = ColorComboBoxes[group - 1]->colorValue();
    }
    SaveSetupInfo(SetupInfo);
    SaveLanguageSetting(kLanguageChoices[std::max(0, LanguageComboBox->currentIndex())]);
    m_originalFonts.clear();
    accept();
}

// "預設" puts the defaults into the record and the controls and leaves the dialog open, so
// that they can be looked at and then confirmed with OK or undone with Cancel.
void TSetupForm::BitBtn7Click()
{
    DefaultSetupInfo(SetupInfo);
    fillControls();
    const QFont general = SettingsFont(SetupInfo.FontName, SetupInfo.FontSize);
    for (QWidget* window : QApplication::topLevelWidgets())
        applyFont(window, general);
    applyFont(m_tree, SettingsFont(SetupInfo.TreeViewFontName, SetupInfo.TreeViewFontSize));
    applyFont(m_list, SettingsFont(SetupInfo.ListViewFontName, SetupInfo.ListViewFontSize));
    if (m_list && m_list->currentView())
        m_list->currentView()->viewport()->update();
}

void TSetupForm::reject()
{
    // Cancel leaves everything as it was before the dialog: the record, and every font
    // and colour it put on the screen.
    if (!m_confirmed && m_shownOnce) {
        SetupInfo = m_before;
        restoreFonts();
        if (m_list && m_list->currentView())
            m_list->currentView()->viewport()->update();
    }
    QDialog::reject();
}
