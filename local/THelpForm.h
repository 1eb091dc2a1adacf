#pragma once
#include <QString>
#include <QWidget>

class QApplication;
class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;

// The help window: the bundled pages under ":/help/", with their contents and a keyword
// index beside the page. One window for the whole run, made when first asked for.
class THelpForm : public QWidget {
    Q_OBJECT
public:
    /// The window, made on first use.
    static THelpForm& Instance();

    /// Shows the contents page with the contents tab in front.
    void ShowContents();
    /// Shows the window with the index tab in front and the keyword field empty.
    void ShowIndex();
    /// Shows `page` ("options.html"); an unknown page shows the contents page.
    void ShowPage(const QString& page);
    /// The page shown now.
    QString CurrentPage() const;
    /// Reads the contents and the index of the interface language again, after the
    /// language changed (tests that show both languages in one run).
    void LoadTables();

    QTabWidget* Tabs;
    QTreeWidget* ContentsTree;
    QLineEdit* IndexEdit;
    QListWidget* IndexList;
    QTextBrowser* Browser;

private:
    explicit THelpForm(QWidget* parent = nullptr);
    void loadContents();
    void loadIndex();
    void IndexEditChange();
    void present();
};

/// The page that describes `window`, by its object name or its class; the contents page
/// for a window that has none.
QString HelpPageFor(const QWidget* window);

/// F1 anywhere in the application opens the page of the window that has the focus (the
/// modal dialog in front, if there is one). Installed once; later calls do nothing.
void InstallHelpKey(QApplication& application);
