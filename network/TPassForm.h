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

    /// Puts `location` into the computer edit and runs the dialog modally, placed over the
    /// mouse cursor. Returns confirmed().
    bool showFor(const QString& location);

    bool confirmed() const { return m_confirmed; }
    bool remember() const { return m_remember; }
    QString userName() const { return m_userName; }
    QString password() const { return m_password; }
    QString location() const { return m_location; }

    /// Where the dialog of `size` goes for the cursor at `cursor`: centred above it with its
    /// bottom edge 20 pixels higher, never left of or above the screen's origin.
    static QPoint placementFor(const QPoint& cursor, const QSize& size);

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

    bool m_confirmed = false;
    bool m_remember = false;
    QString m_userName;
    QString m_password;
    QString m_location;
};
