#pragma once
#include "network/NetPassword.h"

#include <QHash>

#include <QDialog>

class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

// The password manager: lists the stored network passwords (location, user, a masked
// password) and adds, edits and deletes them in the store, the desktop's keyring when one
// runs (with the logins other programs saved there), else the settings file. Every change
// is written through at once.
class TPassManForm : public QDialog {
    Q_OBJECT
public:
    explicit TPassManForm(QWidget* parent = nullptr);

    /// The column that always shows this mask, whatever the password's length.
    static constexpr const char* PasswordMask = "*****";
    /// Where a row keeps its password (on the mask column), never shown.
    static constexpr int PasswordRole = Qt::UserRole + 1;

    QTabWidget* PageControl = nullptr;
    QWidget* TabSheet1 = nullptr;  // "網芳密碼"
    QTreeWidget* PassListView = nullptr;
    QPushButton* BitBtn4 = nullptr;  // "新增"
    QPushButton* BitBtn1 = nullptr;  // "編輯"
    QPushButton* BitBtn2 = nullptr;  // "刪除"
    QPushButton* BitBtn3 = nullptr;  // "結束"

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void BitBtn4Click();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void PassListViewDblClick(QTreeWidgetItem* item);

    QTreeWidgetItem* selectedRow() const;
    QTreeWidgetItem* rowOf(const QString& location) const;
    void setRow(QTreeWidgetItem* row, const QString& location, const QString& userName, const QString& password);
    /// Writes `location`'s entry (and removes `oldLocation`'s first, when given); false,
    /// after telling the user why, when the store refused it.
    /// Writes `location`'s entry (and deletes `old` first, when given); false, after telling
    /// the user why, when the store refused it.
    bool writeEntry(const QString& location, const QString& userName, const QString& password,
                    const NetPasswordEntry* old);
    /// Fills the list from the store; false, after telling the user why, when it failed.
    bool reload();

    QHash<const QTreeWidgetItem*, NetPasswordEntry> m_entries;
};

/// Opens the manager over `parent` with the settings' font, modally, and frees it afterwards.
void ShowPassManForm(QWidget* parent);

/// At start-up, off the window thread: finds whether the desktop's keyring runs, moves the
/// settings file's passwords into it, and tells the user once when there is none (or what
/// the keyring refused).
void CheckPasswordStore(QWidget* owner);
