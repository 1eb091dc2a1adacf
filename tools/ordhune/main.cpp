// ordhune, the wizard that walks a new user through adding computers, an FTP site and a
// first crawl of the cache. The tool bar's "精靈" starts it from Tamsel's folder.
#include "app/Application.h"
#include "platform/ProgramFolder.h"
#include "tools/ordhune/OrdhuneWizard.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    PrepareApplication(app);
    app.setApplicationName(QStringLiteral("Ordhune"));
    OrdhuneWizard wizard(ProgramFolder() + "Cache\\", QString::fromStdString(ExecutableFolder()));
    wizard.show();
    return app.exec();
}
