// The search window of pallisk; `pallisk` with no arguments starts it.
#include "app/Application.h"
#include "platform/ProgramFolder.h"
#include "tools/pallisk/PalliskWindow.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    PrepareApplication(app);
    app.setApplicationName(QStringLiteral("Pallisk"));
    PalliskWindow window(ProgramFolder() + "Cache\\");
    window.show();
    return app.exec();
}
