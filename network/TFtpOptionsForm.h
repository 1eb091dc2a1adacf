#pragma once
#include "network/FtpSite.h"

#include <QDialog>

#include <functional>
#include <string>

class QComboBox;
class QRadioButton;
class QTreeWidgetItem;

// The site's own choices beside its connection block: the text encoding of the server's
// names and the transfer mode. They are kept in the site's ".OPT" file and take effect at
// the next connection.
class TFtpOptionsForm : public QDialog {
    Q_OBJECT
public:
    explicit TFtpOptionsForm(QWidget* parent = nullptr);

    /// Reads the options of the site of `site` (an FTP site node), shows them modally and,
    /// when confirmed, writes them back. True when they were written.
    bool ShowFor(QTreeWidgetItem* site);

    /// The options shown, and after confirming those chosen.
    void setOptions(const FtpSiteOptions& options);
    FtpSiteOptions options() const;

    /// How a failed write reaches the user; replaceable for tests.
    std::function<void(const QString&)> ShowError;

    // Components, named as the dialog's layout names them.
    QComboBox* EncodingComboBox = nullptr;
    QRadioButton* ActiveRadioButton = nullptr;
    QRadioButton* PassiveRadioButton = nullptr;
};
