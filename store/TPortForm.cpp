#include "store/TPortForm.h"

#include "local/MessageBoxes.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "resources/UiText.h"
#include "store/ImportedComputers.h"
#include "store/TLZHuff.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const char* const TreeFolders[] = {"Bookmark", "Net", "Expanded"};
const QString Filter = QStringLiteral("Compressed Cache Data(*.CHE);;All Files(*.*)");

QGroupBox* radioGroup(QWidget* parent, const QString& title, const QStringList& items, QButtonGroup*& group)
{
    auto* box = new QGroupBox(title, parent);
    auto* layout = new QVBoxLayout(box);
    group = new QButtonGroup(box);
    for (int k = 0; k < items.size(); k++) {
        auto* radio = new QRadioButton(items[k], box);
        group->addButton(radio, k);
        layout->addWidget(radio);
    }
    group->button(0)->setChecked(true);
    return box;
}

QProgressBar* progressBar(QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

} // namespace

TPortForm::TPortForm(QWidget* parent, const std::string& cachePath) : QDialog(parent), m_cachePath(cachePath)
{
    setWindowTitle(UiText("匯出匯入精靈"));
    auto* layout = new QVBoxLayout(this);
    auto* groups = new QHBoxLayout;
    groups->addWidget(radioGroup(this, UiText("方向"), {UiText("匯出"), UiText("匯入")}, DirRadioGroup));
    groups->addWidget(radioGroup(this, UiText("種類"),
                                 {UiText("書籤"), UiText("網路芳鄰"), UiText("擴大網路芳鄰")},
                                 TypeRadioGroup));
    layout->addLayout(groups);

    auto* bars = new QGridLayout;
    PartPBar = progressBar(this);
    PartLabel = new QLabel(QStringLiteral("0%"), this);
    TotalPBar = progressBar(this);
    TotalLabel = new QLabel(QStringLiteral("0%"), this);
    bars->addWidget(PartPBar, 0, 0);
    bars->addWidget(PartLabel, 0, 1);
    bars->addWidget(TotalPBar, 1, 0);
    bars->addWidget(TotalLabel, 1, 1);
    layout->addLayout(bars);
    CurLabel = new QLabel(this);
    layout->addWidget(CurLabel);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    BitBtn2 = new QPushButton(UiText("開始"), this);
    BitBtn2->setDefault(true);
    BitBtn1 = new QPushButton(UiText("停止"), this);
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn1);
    layout->addLayout(buttons);

    connect(BitBtn2, &QPushButton::clicked, this, &TPortForm::BitBtn2Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TPortForm::BitBtn1Click);
}

TPortForm::~TPortForm() = default;

void TPortForm::message(const QString& text, bool error)
{
    if (m_showMessage)
        m_showMessage(text, error);
    else
        ShowMessageText(this, text, error ? MsgError : MsgInformation);
}

void TPortForm::showBusyMessage()
{
    message(UiText("匯出或匯入正在進行中，請先按「停止」結束它"), false);
}

QString TPortForm::askArchiveName(bool forExport)
{
    if (m_askArchiveName)
        return m_askArchiveName(forExport);
    QFileDialog dialog(this);
    dialog.setNameFilter(Filter);
    dialog.setDefaultSuffix(QStringLiteral("CHE"));
    dialog.setAcceptMode(forExport ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(forExport ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void TPortForm::BitBtn2Click()
{
    if (m_busy) {
        showBusyMessage();
        return;
    }
    const bool exporting = DirRadioGroup->checkedId() != 1;
    const int tree = std::max(0, TypeRadioGroup->checkedId());
    const std::string folder = m_cachePath + TreeFolders[tree];

    const QString chosen = askArchiveName(exporting);
    bool stopped = false;
    bool hadArchive = false;
    if (!chosen.isEmpty()) {
        const std::string archive = WindowsPath(chosen.toStdString());
        if (archive.empty()) {
            message(UiText("無法使用這個檔案位置：") + chosen, true);
            return;
        }
        hadArchive = FileExists(archive);
        m_busy = true;
        m_coder = std::make_unique<TLZHuff>();
        m_coder->OnProgress = [this](TLZHuff& c) { LZHuffProgress(c); };
        m_coder->OnBlockEncoded = [this](TLZHuff& c) { LZHuffBlockDone(c); };
        m_coder->OnBlockDecoded = [this](TLZHuff& c) { LZHuffBlockDone(c); };
        try {
            stopped = exporting ? !m_coder->ExportArchive(m_cachePath, {folder}, archive)
                                : !ImportArchiveIntoCache(*m_coder, archive, m_cachePath);
        } catch (const Exception& e) {
            m_coder.reset();
            m_busy = false;
            message(QString::fromStdString(e.message()), true);
            return;
        }
        m_coder.reset();
        m_busy = false;
    }
    // A stopped export writes into a temporary that is thrown away, and a stopped import
    // discards its staged files: say that nothing changed rather than warn of a damage
    // that did not happen.
    if (stopped)
        message(exporting ? (hadArchive ? UiText("已停止匯出動作，原有的封存檔保持不變：") + chosen
                                        : UiText("已停止匯出動作，沒有寫出封存檔"))
                          : UiText("已停止匯入動作，沒有還原任何檔案，快取保持不變"), false);
    else
        message(exporting ? UiText("完成匯出動作")
                          : UiText("完成匯入動作\r\n若您匯入擴大網路芳鄰或書籤內含擴大網路芳鄰時，須執行重建網芳資料"),
                false);
    accept();
}

void TPortForm::BitBtn1Click()
{
    if (m_busy)
        m_coder->Cancel();
    else
        close();
}

void TPortForm::LZHuffProgress(TLZHuff& sender)
{
    const int percent = sender.sourceSize() ? int(std::min<uint64_t>(100, sender.produced() * 100 / sender.sourceSize())) : 100;
    PartPBar->setValue(percent);
    PartLabel->setText(QString::number(percent) + QLatin1Char('%'));
    QApplication::processEvents();
}

void TPortForm::LZHuffBlockDone(TLZHuff& sender)
{
    PartPBar->setValue(100);
    PartLabel->setText(QStringLiteral("100%"));
    const int total = std::min(100, sender.fileIndex() * 100 / std::max(1, sender.fileCount()) + 1);
    TotalPBar->setValue(total);
    TotalLabel->setText(QString::number(total) + QLatin1Char('%'));
    std::string current = sender.currentPath();
    if (current.compare(0, m_cachePath.size(), m_cachePath) == 0)
        current.erase(0, m_cachePath.size());
    CurLabel->setText(QString::fromStdString(current));
    QApplication::processEvents();
}

void TPortForm::closeEvent(QCloseEvent* event)
{
    if (m_busy) {
        event->ignore();
        showBusyMessage();
        return;
    }
    QDialog::closeEvent(event);
}

void TPortForm::reject()
{
    if (m_busy) {
        showBusyMessage();
        return;
    }
    QDialog::reject();
}

void ShowPortForm(QWidget* parent, const std::string& cachePath)
{
    TPortForm form(parent, cachePath);
    form.exec();
}
