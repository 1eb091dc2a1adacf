#pragma once
#include "platform/DesktopApps.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// "開啟檔案方式": the applications the desktop names for a file type, the default first, and
// any program the user picks by its path; the chosen one opens the files, and may become the
// type's default for every program of the desktop.
class TOpenWithForm : public QDialog {
    Q_OBJECT
public:
    /// For files of `mimeType` (empty when they differ: then no default can be set), the
    /// first named `fileName` in the prompt.
    TOpenWithForm(QWidget* parent, const QString& fileName, const QString& mimeType);

    QLabel* PromptLabel = nullptr;
    QListWidget* AppListBox = nullptr;
    QPushButton* BrowseButton = nullptr;   // "其他程式…"
    QCheckBox* DefaultCheckBox = nullptr;  // "永遠用這個程式開啟這種檔案"
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

    /// Asks for a program file; the file dialog unless a test replaces it.
    std::function<QString(QWidget* owner)> AskProgram;

    /// The application chosen, after the dialog was confirmed.
    std::optional<DesktopApp> chosen() const;
    /// Whether it is to become the type's default.
    bool makeDefault() const;

private:
    void BrowseButtonClick();
    void OkButtonClick();
    void AppListBoxDblClick(QListWidgetItem* item);
    void addApp(const DesktopApp& app);
    void updateButtons();

    QList<DesktopApp> m_apps;
};

/// Shows the chooser for the native files and opens them in the chosen application. False
/// when the user cancelled or it could not start (the user was told why).
bool OpenFilesWith(QWidget* parent, const std::vector<std::string>& nativeFiles);
