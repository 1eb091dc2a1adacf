#pragma once
#include <QDialog>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

class QFormLayout;
class QLabel;
struct FtpEntry;

// What is known of one file or folder of an FTP site: what its listing said, or, for a
// folder not listed while connected (the cached view), what the cached list shows.
struct TFtpItemFacts {
    QString name;
    bool folder = false;
    int64_t size = -1;    // -1: not given
    QString modified;     // as shown ("yyyy/mm/dd hh:mm:ss"), empty when not given
    QString permissions;  // empty when not given
    QString owner;        // "owner:group", "owner", or empty
};

/// The facts of a listing entry.
TFtpItemFacts FtpItemFactsOf(const FtpEntry& entry);

// The properties window of items of an FTP folder: name, site and folder, type, size,
// modified date, permissions and owner as the server's listing gave them. Several items
// show their count, their common type and their total size. Frees itself when closed.
class TFtpPropertiesForm : public QDialog {
    Q_OBJECT
public:
    /// `site` names the site ("caption (host)"), `folder` is the folder's path on the site.
    TFtpPropertiesForm(QWidget* owner, const QString& site, const QString& folder,
                       const std::vector<TFtpItemFacts>& items);

    /// The text of a field by its caption's string number (tests read the window through it).
    QString FieldText(int captionNumber) const;
    /// The name shown at the top.
    QString NameText() const;

private:
    void addRow(int captionNumber, const QString& text);

    QFormLayout* m_form = nullptr;
    QLabel* m_name = nullptr;
    std::vector<std::pair<int, QLabel*>> m_fields;
};
