#pragma once
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The prompt for the user name and password of one network location. The caller sets the
// user name and password it knows, shows the dialog for a location and, after it closed,
// reads whether it was confirmed, whether the entry is to be remembered and the three texts.
// Storing them is the caller's business.
class TPassForm : public QDialog {
    Q_OBJECT
public:
    explicit TPassForm(QWidget* parent = nullptr);

    void setUserName(const QString& userName) { m_userName = userName; }
    void setPassword(const QString& password) { m_password = password; }
    /// Ticks or clears "記住密碼" (cleared when the dialog is made).
    void setRemember(bool remember);

    /// The sentence above the edits that says which location asks and why (hidden when
    /// empty); see reasonText().
    void setReason(const QString& reason);
    /// "\\SERVER\SHARE 需要密碼才能連線：" followed by `why`.
    static QString reasonText(const QString& location, const QString& why);

    /// Puts `location` into the location edit and runs the dialog modally, centred over the
    /// window the user works in. Returns confirmed().
    bool showFor(const QString& location);

    bool confirmed() const { return m_confirmed; }
    bool remember() const { return m_remember; }
    QString userName() const { return m_userName; }
    QString password() const { return m_password; }
    QString location() const { return m_location; }

    /// Where a dialog of `size` goes: centred over `owner` (the frame of the window it
    /// belongs to; the middle of `screen` when that is empty), kept inside `screen`.
    static QPoint placementFor(const QRect& owner, const QSize& size, const QRect& screen);

    QLabel* ReasonLabel = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* ComputerEdit = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* UserNameEdit = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* PasswordEdit = nullptr;
    QCheckBox* RecordCheckBox = nullptr;
    QPushButton* BitBtn1 = nullptr;  // "確定"
    QPushButton* BitBtn2 = nullptr;  // "放棄"

    /// Escape and closing act as "放棄".
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();
    QWidget* ownerWindow() const;

    bool m_confirmed = false;
    bool m_remember = false;
    QString m_userName;
    QString m_password;
    QString m_location;
};
