#pragma once
#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTreeWidgetItem;
class TIPEdit;

// The edit dialog of the nodes a person makes: an expanded-network computer, an FTP site
// or a bookmark, one page each, chosen by the caller (no tabs). It only collects and checks the
// values: the caller sets the members it wants shown, calls ShowPage, and reads Accepted
// and the members afterwards; storing them is the caller's business.
class TEditForm : public QDialog {
    Q_OBJECT
public:
    enum Page : int { NetPage = 0, FtpPage = 1, BookmarkPage = 2 };

    explicit TEditForm(QWidget* parent = nullptr);

    /// Shows `page` alone under its caption and runs the dialog modally. The bookmark page
    /// takes its caption and the description of `node` (which may be null) first.
    void ShowPage(int page, QTreeWidgetItem* node);
    /// Everything ShowPage does before it runs the dialog (tests drive the page themselves).
    void preparePage(int page, QTreeWidgetItem* node);

    /// How the dialog's error messages reach the user; replaceable for tests.
    std::function<void(const QString&)> ShowError;

    // Values in, values out.
    std::string NetName;
    std::string NetAddress;  // dotted IP text
    std::string NetCaption;
    std::string FtpCaption;
    std::string FtpHost;
    std::string FtpUser = "anonymous";
    std::string FtpPassword;
    std::string FtpProxy;
    int32_t FtpPort = 21;
    int32_t FtpProxyPort = 21;
    std::string BookmarkCaption;
    bool Accepted = false;

    // Components, named as the dialog's layout names them.
    QStackedWidget* PageControl = nullptr;
    QLineEdit* NetNameEdit = nullptr;
    TIPEdit* NetIPEdit = nullptr;
    QLineEdit* NetCaptionEdit = nullptr;
    QPushButton* NetOKButton = nullptr;
    QPushButton* NetCancelButton = nullptr;
    QLineEdit* FTPCaptionEdit = nullptr;
    QLineEdit* FTPHostEdit = nullptr;
    QLineEdit* FTPUserNameEdit = nullptr;
    QLineEdit* FTPPasswordEdit = nullptr;
    QLineEdit* FTPProxyEdit = nullptr;
    QLineEdit* FTPPortEdit = nullptr;
    QLineEdit* FTPProxyPortEdit = nullptr;
    QPushButton* FTPOKButton = nullptr;
    QPushButton* FTPCancelButton = nullptr;
    QLineEdit* BookmarkCaptionEdit = nullptr;
    QPlainTextEdit* BookmarkNodeMemo = nullptr;
    QPushButton* BookmarkOKButton = nullptr;
    QPushButton* BookmarkCancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildNetPage();
    QWidget* buildFtpPage();
    QWidget* buildBookmarkPage();
    void FormShow();
    void NetNameEditChange(const QString& text);
    void NetOKButtonClick();
    void FTPOKButtonClick();
    void BookmarkOKButtonClick();
    void CancelButtonClick();
    void refuse(const char* message, QLineEdit* edit);
};
