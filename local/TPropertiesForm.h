#pragma once
#include <QDialog>
#include <QPointer>

#include <string>
#include <vector>

class QFormLayout;
class QLabel;
class TObjFolderSize;

// Our properties window for files and folders: type, location, size (folders added up in
// the background), dates, permissions and owner. Paths are Windows-style. The window
// frees itself when closed.
class TPropertiesForm : public QDialog {
    Q_OBJECT
public:
    TPropertiesForm(QWidget* owner, const std::vector<std::string>& paths);
    ~TPropertiesForm() override;

    /// Creates and shows the window; false when no path can be opened here.
    static bool ShowFor(QWidget* owner, const std::vector<std::string>& paths);

    /// The text of a field by its caption's string number (tests read the window through it).
    QString FieldText(int captionNumber) const;
    /// True while folder sizes are still being added up.
    bool Counting() const { return !m_sizer.isNull(); }

private:
    void addRow(int captionNumber, const QString& text);
    void showTotals(uint64_t bytes, uint64_t files, uint64_t folders, bool final);

    QFormLayout* m_form = nullptr;
    std::vector<std::string> m_native;
    std::vector<std::pair<int, QLabel*>> m_fields;
    QPointer<TObjFolderSize> m_sizer;
    bool m_hasFolders = false;
};
