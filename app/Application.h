#pragma once
#include "resources/StringTable.h"

#include <QApplication>

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

/// The whole run: start-up, the main window, the message loop, the settings saved at the
/// end. Returns the process exit code.
int RunTamsel(int argc, char** argv);
