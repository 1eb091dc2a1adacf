#pragma once
#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class QButtonGroup;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class TLZHuff;

/// The export and import wizard of the cache trees: it writes one tree (bookmarks, network
/// neighbourhood, expanded network neighbourhood) into a compressed archive, or restores an
/// archive into the cache folder. The job runs on the window thread; its progress handlers
/// process pending events, so that "停止" works while it runs.
class TPortForm : public QDialog {
    Q_OBJECT
public:
    /// `cachePath`: the program's cache folder (Windows-style, with a trailing backslash).
    TPortForm(QWidget* parent, const std::string& cachePath);
    ~TPortForm() override;

    /// Replaces the file dialogs (tests): returns the chosen native path, or empty when
    /// the choice was cancelled.
    using ArchiveNameProvider = std::function<QString(bool forExport)>;
    void setArchiveNameProvider(ArchiveNameProvider provider) { m_askArchiveName = std::move(provider); }
    /// Replaces the message boxes (tests): receives the text and whether it is an error.
    using MessageSink = std::function<void(const QString& text, bool error)>;
    void setMessageSink(MessageSink sink) { m_showMessage = std::move(sink); }

    bool busy() const { return m_busy; }

    QButtonGroup* DirRadioGroup = nullptr;   // 0 export (default), 1 import
    QButtonGroup* TypeRadioGroup = nullptr;  // 0 "書籤", 1 "網路芳鄰", 2 "擴大網路芳鄰"
    QProgressBar* PartPBar = nullptr;
    QLabel* PartLabel = nullptr;
    QProgressBar* TotalPBar = nullptr;
    QLabel* TotalLabel = nullptr;
    QLabel* CurLabel = nullptr;
    QPushButton* BitBtn2 = nullptr;  // "開始"
    QPushButton* BitBtn1 = nullptr;  // "停止"

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void BitBtn2Click();
    void BitBtn1Click();
    void LZHuffProgress(TLZHuff& sender);
    void LZHuffBlockDone(TLZHuff& sender);
    void showBusyMessage();
    void message(const QString& text, bool error);
    QString askArchiveName(bool forExport);

    std::string m_cachePath;
    std::unique_ptr<TLZHuff> m_coder;
    bool m_busy = false;
    ArchiveNameProvider m_askArchiveName;
    MessageSink m_showMessage;
};

/// Opens the wizard over `parent` for the cache folder `cachePath` and runs it to its end.
void ShowPortForm(QWidget* parent, const std::string& cachePath);
