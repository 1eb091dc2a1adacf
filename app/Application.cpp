#include "app/Application.h"

#include "app/LanguageSetting.h"
#include "app/SetupInfo.h"
#include "app/StartOptions.h"
#include "app/StartRequests.h"
#include "local/MessageBoxes.h"
#include "local/TThreadForm.h"
#include "mainwindow/FtpDragData.h"
#include "mainwindow/TMainForm.h"
#include "network/TPassManForm.h"
#include "platform/FileAccess.h"
#include "platform/ProgramFolder.h"
#include "platform/ServerNames.h"
#include "resources/StringTable.h"
#include "store/NameTable.h"
#include "ui/Fonts.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <exception>
#include <memory>

namespace {

void showSetupError(int number)
{
    ShowMessageId(QApplication::activeWindow(), number, MsgError);
}

} // namespace

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
    app.setDesktopFileName(QStringLiteral("tamsel"));
    app.setProperty("helpFile", QStringLiteral("Tamsel.hlp"));
    // Every program of the family speaks the language chosen in the options dialog.
    UseChosenLanguage();
    // Without its catalogue Qt's own dialogs stay English; the program runs on regardless.
    InstallQtTranslations(app, CurrentInterfaceLanguage());
    // Dates, numbers and the Han glyph fallback follow the interface, not the session's locale.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan));
    InstallFontSubstitutions();
    app.setFont(SettingsFont("MS Sans Serif", app.font().pointSize()));
    const QString theme = QIcon::themeName();
    if (theme.isEmpty() || theme == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
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
    Application app(argc, argv);
    PrepareApplication(app);
    const QString title = QString::fromStdString(LoadStr(30000));
    std::vector<std::string> words;
    for (const QString& word : app.arguments().mid(1))
        words.push_back(word.toStdString());
    const StartOptions options = ParseStartOptions(words);
    if (!options.Error.empty()) {
        std::fprintf(stderr, "%s\n%s\n", options.Error.c_str(), UiCaption(StartUsage).c_str());
        return 2;
    }
    // A place asked for while a Tamsel runs for this program folder is shown there: one
    // window and one tree, as the user expects of a search result.
    if (!options.SelectPath.empty() && StartRequests::handOver(options))
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
            StartRequests requests([form](const StartOptions& asked) {
                form->ShowRequested(asked.SelectPath, asked.Cached, asked.Computer, asked.Item);
            });
            // Without the socket only the hand-over is lost: a later start opens a window of its own.
            if (!requests.listen())
                std::fprintf(stderr, "%s\n", requests.errorText().toLocal8Bit().constData());
            CheckPasswordStore(mainForm.get());
            if (!options.SelectPath.empty()) {
                // Once the tree is built by the first show.
                QTimer::singleShot(0, form, [form, options] {
                    form->SelectOnStart(options.SelectPath, options.Cached, options.Computer, options.Item);
                });
            }
            app.exec();
        }
        SaveSetupInfo(SetupInfo);
    } catch (const std::exception& error) {
        QMessageBox box(QMessageBox::Critical, title, QString::fromUtf8(error.what()));
        box.setTextFormat(Qt::PlainText);  // the message may hold a name from a server or file
        box.exec();
    }
    return 0;
}
