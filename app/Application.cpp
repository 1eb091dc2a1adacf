#include "app/Application.h"

#include "app/DesktopBus.h"
#include "app/LanguageSetting.h"
#include "app/SetupInfo.h"
#include "app/StartOptions.h"
#include "local/MessageBoxes.h"
#include "local/TImageLists.h"
#include "local/TThreadForm.h"
#include "mainwindow/FtpDragData.h"
#include "mainwindow/TMainForm.h"
#include "network/TPassManForm.h"
#include "platform/Environment.h"
#include "platform/FileAccess.h"
#include "platform/ProgramFolder.h"
#include "platform/ServerNames.h"
#include "resources/StringTable.h"
#include "store/NameTable.h"
#include "ui/Fonts.h"

#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>

namespace {

void showSetupError(int number)
{
    ShowMessageId(QApplication::activeWindow(), number, MsgError);
}

constexpr uint32_t kFolderAttribute = 0x10;

// Qt's own options are single-dash words, some followed by a value.
bool isQtOption(const std::string& word)
{
    return word.size() > 1 && word[0] == '-' && word[1] != '-';
}

bool qtOptionTakesValue(const std::string& word)
{
    for (const char* option : {"-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-style", "-stylesheet",
                               "-display", "-geometry", "-qwindowgeometry", "-title", "-qwindowtitle",
                               "-qwindowicon", "-session", "-name", "-graphicssystem"})
        if (word == option)
            return true;
    return false;
}

// --help, --version and a line that cannot be used are answered before Qt starts: they
// need no display.
bool answeredWithoutWindow(int argc, char** argv, int& exitCode)
{
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (!isQtOption(word))
            words.push_back(word);
        else if (qtOptionTakesValue(word))
            ++i;
    }
    std::error_code noFolder;
    const StartOptions options = ParseStartOptions(words, std::filesystem::current_path(noFolder).string());
    if (!options.Error.empty()) {
        std::fprintf(stderr, "%s\n%s\n", options.Error.c_str(), UiCaption(StartUsage).c_str());
        exitCode = 2;
        return true;
    }
    if (!options.Help && !options.Version)
        return false;
    std::fputs(options.Help ? StartHelpText().c_str() : StartVersionText().c_str(), stdout);
    exitCode = 0;
    return true;
}

} // namespace

void OpenInWindow(TMainForm* form, const StartOptions& options)
{
    if (form->isMinimized())
        form->showNormal();
    form->raise();
    form->activateWindow();
    if (!options.FtpUrl.empty()) {
        form->OpenFtpLink(options.FtpUrl);
        return;
    }
    if (options.SelectPath.empty())
        return;
    FindEntry entry;
    // A file opens its folder with the file selected.
    if (options.Item.empty() && !options.Cached && GetFileEntry(options.SelectPath, entry)
        && !(entry.attributes & kFolderAttribute))
        form->ShowItem(options.SelectPath, false);
    else
        form->SelectOnStart(options.SelectPath, options.Cached, options.Computer, options.Item);
}

void ServeDesktopBus(DesktopBus& desktop, TMainForm* form)
{
    desktop.OnOpen = [form](const StartOptions& asked) { OpenInWindow(form, asked); };
    desktop.OnShowItem = [form](const std::string& path, bool properties) {
        OpenInWindow(form, {});
        form->ShowItem(path, properties);
    };
}

std::string DesktopBusName()
{
    // Tamsels with settings of their own (a test's, a demo's) are programs of their own.
    const std::string config = EnvironmentValue("TAMSEL_CONFIG");
    if (config.empty())
        return DesktopBus::ServiceName;
    std::string name = DesktopBus::ServiceName;
    name += ".Config";
    name += std::to_string(std::hash<std::string>{}(config) % 1000000007u);
    return name;
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        // A command that failed has already left its data as it was; the user sees why.
        ShowErrorText(activeWindow(), QString::fromUtf8(error.what()));
    }
    return false;
}

bool InstallQtTranslations(QCoreApplication& app, InterfaceLanguage language)
{
    // One catalogue for the process: a language chosen again replaces the one before.
    static QTranslator* installed = nullptr;
    if (installed) {
        app.removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    if (language == InterfaceLanguage::English)
        return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_zh_TW"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    app.installTranslator(translator.get());
    installed = translator.release();
    return true;
}

void PrepareApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("Tamsel"));
    app.setDesktopFileName(QStringLiteral("org.tamsel.Tamsel"));
    app.setProperty("helpFile", QStringLiteral("Tamsel.hlp"));
    // Every program of the family speaks the language chosen in the options dialog.
    UseChosenLanguage();
    // Without its catalogue Qt's own dialogs stay English; the program runs on regardless.
    InstallQtTranslations(app, CurrentInterfaceLanguage());
    // Dates, numbers and the Han glyph fallback follow the interface, not the session's locale.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan));
    InstallFontSubstitutions();
    app.setFont(SettingsFont("MS Sans Serif", app.font().pointSize()));
    // Every window's pictures come from this theme. Naming one that is not installed would
    // leave Qt looking nowhere, not even in hicolor.
    TImageLists::ensureIconTheme();
    // An X11 window manager shows a window's own icon in its title bar and task list; without
    // one it draws a generic picture. The installed icon carries the desktop entry's name.
    app.setWindowIcon(TImageLists::namedIcon(app.desktopFileName()));
}

void PrepareProgramFolders(TSetupInfo& info)
{
    info.ExePath = ProgramFolder();
    info.CachePath = info.ExePath + "Cache\\";
    info.TempPath = info.ExePath + "Temp\\";
    // Computers of the expanded network are reached by the addresses the table gives.
    SetServerNameTable(NameTablePath(info.ExePath));
    if (!DirectoryExists(info.TempPath))
        ForceDirectories(info.TempPath);
    RemoveOldTempItems(info.TempPath, std::chrono::hours(1), std::chrono::hours(24));
}

int RunTamsel(int argc, char** argv)
{
    if (int exitCode = 0; answeredWithoutWindow(argc, argv, exitCode))
        return exitCode;
    Application app(argc, argv);
    PrepareApplication(app);
    const QString title = QString::fromStdString(LoadStr(30000));
    std::vector<std::string> words;
    for (const QString& word : app.arguments().mid(1))
        words.push_back(word.toStdString());
    const StartOptions options = ParseStartOptions(words, QDir::currentPath().toStdString());
    if (!options.Error.empty()) {
        std::fprintf(stderr, "%s\n%s\n", options.Error.c_str(), UiCaption(StartUsage).c_str());
        return 2;
    }
    // One Tamsel per desktop session: a second start hands its place (a search result, a
    // link, a path) to the first one, which shows it in its one window. Where no session
    // bus is reachable, Register and HandOver both fail and this start opens its own window.
    DesktopBus desktop(QDBusConnection::sessionBus(), DesktopBusName());
    if (!desktop.Register() && DesktopBus::HandOver(QDBusConnection::sessionBus(), DesktopBusName(), StartArguments(options)))
        return 0;
    try {
        PrepareProgramFolders(SetupInfo);
        SetSetupErrorReporter(showSetupError);
        LoadSetupInfo(SetupInfo);
        {
            auto mainForm = std::make_unique<TMainForm>();
            auto threadForm = std::make_unique<TThreadForm>(nullptr, [] {
                return TTaskListLook{SetupInfo.FontName, SetupInfo.FontSize, SetupInfo.ButtonStyle,
                                     SetupInfo.ShowGlyph, SetupInfo.ShowText};
            });
            ThreadForm = threadForm.get();
            mainForm->show();
            TMainForm* form = mainForm.get();
            ServeDesktopBus(desktop, form);
            CheckPasswordStore(mainForm.get());
            // Once the tree is built by the first show.
            QTimer::singleShot(0, form, [form, options] { OpenInWindow(form, options); });
            app.exec();
            desktop.OnOpen = nullptr;
            desktop.OnShowItem = nullptr;
        }
        SaveSetupInfo(SetupInfo);
    } catch (const std::exception& error) {
        QMessageBox box(QMessageBox::Critical, title, QString::fromUtf8(error.what()));
        box.setTextFormat(Qt::PlainText);  // the message may hold a name from a server or file
        box.exec();
    }
    return 0;
}
