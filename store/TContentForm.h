#pragma once
#include <QDialog>
#include <QStringList>

#include <functional>

class QPlainTextEdit;
class QPushButton;
class QTreeWidgetItem;
class TEditForm;
struct TNodeData;

/// Appends the description of a tree node: its name, child count, attribute labels,
/// remote name, host, state, cache use, cache folder and, for a node shown from the
/// cache, the date its cache entry was made. A node without a record gives its name only.
void DescribeNode(const QTreeWidgetItem* node, QStringList& lines);

// The content dialog of one tree node: its description, and for the nodes a person made
// (bookmarks, expanded-network computers, FTP sites) "編輯", which opens the edit dialog
// and writes the changes back into the node store.
class TContentForm : public QDialog {
    Q_OBJECT
public:
    explicit TContentForm(QWidget* parent = nullptr);

    /// Shows the node's description and runs the dialog modally.
    void ShowFor(QTreeWidgetItem* node);
    /// Everything ShowFor does before it runs the dialog (tests drive the dialog themselves).
    void prepare(QTreeWidgetItem* node);

    /// How errors of the node store reach the user; replaceable for tests.
    std::function<void(const QString&)> ShowError;
    /// Empties the children of an edited computer or FTP site and gives it a placeholder
    /// child. The main window replaces it with one that also lets go of a shown child.
    std::function<void(QTreeWidgetItem*)> ResetChildren;

    QPlainTextEdit* ContentMemo = nullptr;
    QPushButton* OKBitBtn = nullptr;
    QPushButton* EditBitBtn = nullptr;

private:
    void EditBitBtnClick();
    void editBookmark(TEditForm& editor);
    void editComputer(TEditForm& editor);
    void editFtpSite(TEditForm& editor);
    bool refuseBusy();
    void describe();

    QTreeWidgetItem* m_node = nullptr;
    TNodeData* m_data = nullptr;
};
