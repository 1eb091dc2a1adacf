#pragma once
#include <QWizard>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProcess;
class QPushButton;
class QSpinBox;
class QTimer;
class QTreeWidget;
class TIPEdit;

// The wizard "設定精靈" for a new user: computers of the expanded network (name and
// address), an FTP site, and a first crawl of the cache. Each page writes what it was given
// into the node store when the user goes on, so the crawl sees it.
class OrdhuneWizard : public QWizard {
    Q_OBJECT
public:
    enum PageId { WelcomePage, ComputersPage, FtpPage, CrawlPage };

    /// `cachePath` is the program folder's "Cache\" (Windows form); `programFolder` the
    /// native folder where vessring is looked for.
    OrdhuneWizard(std::string cachePath, QString programFolder, QWidget* parent = nullptr);

    /// Adds the computer of the fields to the list of computers to add.
    void AddComputerButtonClick();
    /// Starts the crawl of every stored computer ("vessring -N"), its output shown below.
    void CrawlButtonClick();

    /// How errors reach the user; replaceable for tests.
    std::function<void(const QString&)> ShowError;

    // The computers page.
    QLineEdit* NetNameEdit = nullptr;
    TIPEdit* NetAddressEdit = nullptr;
    QLineEdit* NetCaptionEdit = nullptr;
    QPushButton* AddComputerButton = nullptr;
    QTreeWidget* ComputerTree = nullptr;
    // The FTP page.
    QLineEdit* FtpCaptionEdit = nullptr;
    QLineEdit* FtpHostEdit = nullptr;
    QSpinBox* FtpPortEdit = nullptr;
    QLineEdit* FtpUserEdit = nullptr;
    QLineEdit* FtpPasswordEdit = nullptr;
    // The crawl page.
    QLabel* CrawlLabel = nullptr;
    QPushButton* CrawlButton = nullptr;
    QPlainTextEdit* CrawlLog = nullptr;

    /// Written by the computers and FTP pages when the user goes on.
    bool writeComputers();
    bool writeFtpSite();

private:
    QWizardPage* buildWelcomePage();
    QWizardPage* buildComputersPage();
    QWizardPage* buildFtpPage();
    QWizardPage* buildCrawlPage();
    void showCrawlState();
    void readCrawlLog();

    const std::string m_cachePath;
    const QString m_programFolder;
    QString m_logPath;
    qint64 m_logRead = 0;
    QTimer* m_logTimer = nullptr;
    bool m_ftpWritten = false;
};
