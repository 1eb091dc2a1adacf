#pragma once
#include "resources/StringTable.h"

#include <QApplication>

#include <string>

class DesktopBus;
class TMainForm;
struct StartOptions;
struct TSetupInfo;

// The application object: it shows an exception that escapes a window's event handler in an
// error box instead of ending the program.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

/// Loads Qt's own translations (standard buttons, the file and font dialogs, the text
/// fields' menus) for `language` from Qt's translation folder, replacing those loaded
/// before; English needs none. False when the catalogue is not installed.
bool InstallQtTranslations(QCoreApplication& app, InterfaceLanguage language);

/// The program's title, fonts, icon theme and Qt's translations.
void PrepareApplication(QApplication& app);

/// Sets ExePath, CachePath and TempPath and creates the Temp folder when it is missing (the
/// cache folder is created by the node store when it first writes).
void PrepareProgramFolders(TSetupInfo& info);

/// Opens what a start or another program asked for in the one main window, brought to
/// the front: a place, a file selected in its folder, or an FTP link.
void OpenInWindow(TMainForm* form, const StartOptions& options);

/// Lets the requests that come over the session bus open places in `form`.
void ServeDesktopBus(DesktopBus& desktop, TMainForm* form);

/// The name this Tamsel takes on the session bus: the program's own, or one of its own for
/// a Tamsel with a settings file of its own ($TAMSEL_CONFIG), which is another program.
std::string DesktopBusName();

/// The whole run: start-up, the main window, the message loop, the settings saved at the
/// end. Returns the process exit code.
int RunTamsel(int argc, char** argv);
