#include "local/TExtendToolForm.h"

#include "local/MessageBoxes.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"

#include <QEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kStrSaveFailed = 33071;
constexpr int kStrDuplicate = 33072;
constexpr int kStrTooMany = 33073;
constexpr int kStrNewTool = 33074;
// A new tool is named with the smallest free number up to this one.
constexpr int kLastToolNumber = 39;

} // namespace

TExtendToolForm::TExtendToolForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("ExtendToolForm"));
    setWindowTitle(UiText("延伸工具"));
    ShowError = [](QWidget* owner, int number) { ShowMessageId(owner, number, MsgError); };
    AskProgram = [](QWidget* owner) {
        return QFileDialog::getOpenFileName(owner, QString(), QString(),
                                            UiText("執行檔(*.EXE)") + QStringLiteral(" (*.EXE *.exe);;")
                                                + UiText("所有檔案(*.*)") + QStringLiteral(" (*)"));
    };

    ToolCheckListBox = new QListWidget(this);
    ToolCheckListBox->setObjectName(QStringLiteral("ToolCheckListBox"));
    GroupBox1 = new QGroupBox(UiText("工具內容"), this);
    CaptionEdit = new QLineEdit(GroupBox1);
    CaptionEdit->setObjectName(QStringLiteral("CaptionEdit"));
    ProgramEdit = new QLineEdit(GroupBox1);
    ProgramEdit->setObjectName(QStringLiteral("ProgramEdit"));
    ParamEdit = new QLineEdit(GroupBox1);
    ParamEdit->setObjectName(QStringLiteral("ParamEdit"));
    BrowseBitBtn = new QPushButton(UiText("瀏覽"), GroupBox1);
    BrowseBitBtn->setObjectName(QStringLiteral("BrowseBitBtn"));
    BrowseBitBtn->setEnabled(false);
    BitBtn1 = new QPushButton(UiText("新增"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn2 = new QPushButton(UiText("刪除"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn4 = new QPushButton(UiText("結束"), this);
    BitBtn4->setObjectName(QStringLiteral("BitBtn4"));

    auto* programRow = new QHBoxLayout;
    programRow->addWidget(ProgramEdit, 1);
    programRow->addWidget(BrowseBitBtn);
    auto* fields = new QFormLayout(GroupBox1);
    fields->addRow(UiText("抬頭名稱"), CaptionEdit);
    fields->addRow(UiText("程式路徑"), programRow);
    fields->addRow(UiText("參數"), ParamEdit);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn4);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ToolCheckListBox, 1);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
    resize(420, 380);

    connect(ToolCheckListBox, &QListWidget::currentRowChanged, this, &TExtendToolForm::ToolCheckListBoxClick);
    connect(ToolCheckListBox, &QListWidget::itemChanged, this, &TExtendToolForm::ToolCheckListBoxClickCheck);
    CaptionEdit->installEventFilter(this);
    connect(CaptionEdit, &QLineEdit::editingFinished, this, &TExtendToolForm::CaptionEditExit);
    connect(ProgramEdit, &QLineEdit::editingFinished, this, &TExtendToolForm::ProgramEditExit);
    connect(ParamEdit, &QLineEdit::editingFinished, this, &TExtendToolForm::ParamEditExit);
    connect(BrowseBitBtn, &QPushButton::clicked, this, &TExtendToolForm::BrowseBitBtnClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TExtendToolForm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TExtendToolForm::BitBtn2Click);
    connect(BitBtn4, &QPushButton::clicked, this, &QDialog::accept);

    m_tools = ReadExtendTools();
    for (const TExtendTool& tool : m_tools)
        addLine(tool);
}

std::vector<std::string> TExtendToolForm::Captions() const
{
    std::vector<std::string> captions;
    for (const TExtendTool& tool : m_tools)
        captions.push_back(tool.Caption);
    return captions;
}

bool TExtendToolForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == CaptionEdit && event->type() == QEvent::FocusIn)
        CaptionEditEnter();
    return QDialog::eventFilter(watched, event);
}

void TExtendToolForm::addLine(const TExtendTool& tool)
{
    m_filling = true;
    auto* line = new QListWidgetItem(QString::fromStdString(tool.Caption), ToolCheckListBox);
    line->setFlags(line->flags() | Qt::ItemIsUserCheckable);
    line->setCheckState(tool.Enabled ? Qt::Checked : Qt::Unchecked);
    m_filling = false;
}

void TExtendToolForm::selectLine(int row)
{
    ToolCheckListBox->setCurrentRow(row);
    // Selecting the line that is already current signals nothing; show it all the same.
    ToolCheckListBoxClick();
}

void TExtendToolForm::ToolCheckListBoxClick()
{
    m_current = ToolCheckListBox->currentRow();
    if (m_current < 0 || m_current >= int(m_tools.size())) {
        m_current = -1;
        return;
    }
    const TExtendTool& tool = m_tools[m_current];
    BrowseBitBtn->setEnabled(true);
    CaptionEdit->setText(QString::fromStdString(tool.Caption));
    m_enteredCaption = CaptionEdit->text();
    ProgramEdit->setText(QString::fromStdString(tool.Program));
    ParamEdit->setText(QString::fromStdString(tool.Parameters));
    m_filling = true;
    ToolCheckListBox->item(m_current)->setCheckState(tool.Enabled ? Qt::Checked : Qt::Unchecked);
    m_filling = false;
}

// The tick is the tool's enabled flag: a disabled tool keeps its menu entries but does not
// run, and the user can see and change which ones those are.
void TExtendToolForm::ToolCheckListBoxClickCheck(QListWidgetItem* line)
{
    if (m_filling || !line)
        return;
    const int row = ToolCheckListBox->row(line);
    if (row >= 0 && row < int(m_tools.size()))
        m_tools[row].Enabled = line->checkState() == Qt::Checked;
}

void TExtendToolForm::CaptionEditEnter()
{
    m_enteredCaption = CaptionEdit->text();
}

bool TExtendToolForm::captionTaken(const QString& caption, int except) const
{
    for (int i = 0; i < int(m_tools.size()); ++i) {
        if (i != except && QString::fromStdString(m_tools[i].Caption).compare(caption, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void TExtendToolForm::CaptionEditExit()
{
    if (m_current < 0)
        return;
    const QString text = CaptionEdit->text();
    if (text == QString::fromStdString(m_tools[m_current].Caption))
        return;
    if (captionTaken(text, m_current)) {
        ShowError(this, kStrDuplicate);
        CaptionEdit->setText(m_enteredCaption);
    }
    m_tools[m_current].Caption = CaptionEdit->text().toStdString();
    ToolCheckListBox->item(m_current)->setText(CaptionEdit->text());
}

void TExtendToolForm::ProgramEditExit()
{
    if (m_current >= 0)
        m_tools[m_current].Program = ProgramEdit->text().toStdString();
}

void TExtendToolForm::ParamEditExit()
{
    if (m_current >= 0)
        m_tools[m_current].Parameters = ParamEdit->text().toStdString();
}

void TExtendToolForm::BrowseBitBtnClick()
{
    if (m_current < 0)
        return;
    const QString picked = AskProgram(this);
    if (picked.isEmpty())
        return;
    // Paths inside the program are Windows-style; a file outside every drive stays native.
    const std::string windows = WindowsPath(picked.toStdString());
    ProgramEdit->setText(QString::fromStdString(windows.empty() ? picked.toStdString() : windows));
    ProgramEditExit();
}

void TExtendToolForm::BitBtn1Click()
{
    if (m_tools.size() >= kMaxExtendTools) {
        ShowError(this, kStrTooMany);
        return;
    }
    const QString base = UiString(kStrNewTool);
    QString caption = base;
    for (int n = 1; n <= kLastToolNumber; ++n) {
        const QString numbered = base + QString::number(n);
        if (!captionTaken(numbered, -1)) {
            caption = numbered;
            break;
        }
    }
    TExtendTool tool;
    tool.Caption = caption.toStdString();
    m_tools.push_back(tool);
    addLine(tool);
    selectLine(int(m_tools.size()) - 1);
}

void TExtendToolForm::BitBtn2Click()
{
    if (m_current < 0)
        return;
    const int deleted = m_current;
    m_tools.erase(m_tools.begin() + deleted);
    m_current = -1;
    {
        const QSignalBlocker quiet(ToolCheckListBox);
        delete ToolCheckListBox->takeItem(deleted);
        ToolCheckListBox->setCurrentRow(-1);
    }
    CaptionEdit->clear();
    ProgramEdit->clear();
    BrowseBitBtn->setEnabled(false);
    if (deleted > 0)
        selectLine(deleted - 1);
}

void TExtendToolForm::done(int result)
{
    // A field still being edited counts as left when the dialog closes.
    if (CaptionEdit->hasFocus())
        CaptionEditExit();
    ProgramEditExit();
    ParamEditExit();
    FormClose();
    QDialog::done(result);
}

void TExtendToolForm::FormClose()
{
    try {
        if (!WriteExtendTools(m_tools))
            ShowError(this, kStrSaveFailed);
    } catch (const Exception&) {
        ShowError(this, kStrSaveFailed);
    }
}
