#include "local/THelpForm.h"

#include "resources/UiText.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr const char* kContentsPage = "index.html";

// The pages of the interface language: the English ones lie in a folder of their own, under
// the same names as the Chinese ones.
QString helpFolder()
{
    return CurrentInterfaceLanguage() == InterfaceLanguage::English ? QStringLiteral(":/help/en/")
                                                                    : QStringLiteral(":/help/");
}

// Each window's page, by the object name or the class name the window carries.
const QHash<QString, QString>& windowPages()
{
    static const QHash<QString, QString> pages{
        {"MainForm", "main.html"},           {"ThreadForm", "tasks.html"},     {"FTPEnumForm", "ftp.html"},
        {"EditForm", "edit.html"},           {"ContentForm", "content.html"},  {"PassForm", "password.html"},
        {"TPortForm", "port.html"},          {"SetupForm", "options.html"},    {"ExtendToolForm", "tools.html"},
        {"TPropertiesForm", "properties.html"}, {"TFileOperationDialog", "fileops.html"}, {"AboutForm", "about.html"},
        {"HelpForm", "menu-help.html"},        {"PassManForm", "passman.html"}, {"NetEnumForm", "netenum.html"},
        {"FtpOptionsForm", "ftp-options.html"}, {"ProcessForm", "busy.html"},  {"CrawlForm", "crawl.html"},
        {"PalliskWindow", "search.html"},       {"QuellorWindow", "collector.html"}, {"OrdhuneWizard", "wizard.html"},
    };
    return pages;
}

// Lines of a help table: fields separated by tabs, "#" lines and blank lines skipped.
QList<QStringList> readTable(const QString& name)
{
    QFile file(helpFolder() + name);
    QList<QStringList> rows;
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        rows << line.split(QLatin1Char('\t'));
    }
    return rows;
}

constexpr int kPageRole = Qt::UserRole;

class HelpKeyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1
            || static_cast<QKeyEvent*>(event)->modifiers() != Qt::NoModifier || !watched->isWidgetType())
            return false;
        const QWidget* window = static_cast<QWidget*>(watched)->window();
        THelpForm::Instance().ShowPage(HelpPageFor(window));
        return true;
    }
};

} // namespace

THelpForm& THelpForm::Instance()
{
    static QPointer<THelpForm> form;
    if (!form) {
        form = new THelpForm;
        // A window without a parent goes with the application, before the application does.
        qAddPostRoutine([] { delete form.data(); });
    }
    return *form;
}

THelpForm::THelpForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpForm"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(UiText("說明"));
    Tabs = new QTabWidget(this);
    ContentsTree = new QTreeWidget(Tabs);
    ContentsTree->setObjectName(QStringLiteral("ContentsTree"));
    ContentsTree->setHeaderHidden(true);
    Tabs->addTab(ContentsTree, UiText("目錄"));
    auto* indexPage = new QWidget(Tabs);
    IndexEdit = new QLineEdit(indexPage);
    IndexEdit->setObjectName(QStringLiteral("IndexEdit"));
    IndexList = new QListWidget(indexPage);
    IndexList->setObjectName(QStringLiteral("IndexList"));
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->setContentsMargins(0, 0, 0, 0);
    indexLayout->addWidget(IndexEdit);
    indexLayout->addWidget(IndexList, 1);
    Tabs->addTab(indexPage, UiText("索引"));
    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    Browser->setOpenExternalLinks(false);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(Tabs);
    splitter->addWidget(Browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 560});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    resize(820, 600);

    LoadTables();
    connect(ContentsTree, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { ShowPage(item->data(0, kPageRole).toString()); });
    connect(ContentsTree, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { ShowPage(item->data(0, kPageRole).toString()); });
    connect(IndexEdit, &QLineEdit::textChanged, this, &THelpForm::IndexEditChange);
    connect(IndexEdit, &QLineEdit::returnPressed, this, [this] {
        for (int i = 0; i < IndexList->count(); ++i) {
            if (!IndexList->item(i)->isHidden()) {
                ShowPage(IndexList->item(i)->data(kPageRole).toString());
                return;
            }
        }
    });
    connect(IndexList, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { ShowPage(item->data(kPageRole).toString()); });
}

void THelpForm::LoadTables()
{
    ContentsTree->clear();
    IndexList->clear();
    loadContents();
    loadIndex();
}

void THelpForm::loadContents()
{
    QList<QTreeWidgetItem*> parents;
    for (const QStringList& row : readTable(QStringLiteral("contents.txt"))) {
        if (row.size() < 3)
            continue;
        const int depth = qMax(0, row[0].toInt());
        while (parents.size() > depth)
            parents.removeLast();
        auto* item = parents.isEmpty() ? new QTreeWidgetItem(ContentsTree) : new QTreeWidgetItem(parents.last());
        item->setText(0, row[2]);
        item->setData(0, kPageRole, row[1]);
        parents << item;
    }
    ContentsTree->expandAll();
}

void THelpForm::loadIndex()
{
    for (const QStringList& row : readTable(QStringLiteral("keywords.txt"))) {
        if (row.size() < 2)
            continue;
        auto* item = new QListWidgetItem(row[0], IndexList);
        item->setData(kPageRole, row[1]);
    }
    IndexList->sortItems();
}

void THelpForm::IndexEditChange()
{
    const QString typed = IndexEdit->text().trimmed();
    for (int i = 0; i < IndexList->count(); ++i)
        IndexList->item(i)->setHidden(!typed.isEmpty() && !IndexList->item(i)->text().contains(typed, Qt::CaseInsensitive));
}

void THelpForm::present()
{
    // Asked for from a modal dialog, the window must take input while the dialog runs.
    const bool fromModal = QApplication::activeModalWidget() && QApplication::activeModalWidget() != this;
    const Qt::WindowModality wanted = fromModal ? Qt::ApplicationModal : Qt::NonModal;
    if (windowModality() != wanted) {
        hide();
        setWindowModality(wanted);
    }
    show();
    raise();
    activateWindow();
}

void THelpForm::ShowPage(const QString& page)
{
    const bool known = QFile::exists(helpFolder() + page);
    const QString shown = known ? page : QString::fromLatin1(kContentsPage);
    Browser->setSource(QUrl(QStringLiteral("qrc") + helpFolder() + shown));
    present();
}

void THelpForm::ShowContents()
{
    Tabs->setCurrentIndex(0);
    ShowPage(QString::fromLatin1(kContentsPage));
}

void THelpForm::ShowIndex()
{
    Tabs->setCurrentIndex(1);
    IndexEdit->clear();
    present();
    IndexEdit->setFocus();
}

QString THelpForm::CurrentPage() const
{
    return Browser->source().fileName();
}

QString HelpPageFor(const QWidget* window)
{
    if (!window)
        return QString::fromLatin1(kContentsPage);
    const QHash<QString, QString>& pages = windowPages();
    for (const QString& key : {window->objectName(), QString::fromLatin1(window->metaObject()->className())}) {
        const auto it = pages.find(key);
        if (it != pages.end())
            return it.value();
    }
    return QString::fromLatin1(kContentsPage);
}

void InstallHelpKey(QApplication& application)
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    application.installEventFilter(new HelpKeyFilter(&application));
}
