#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QString::fromUtf8("檔案管理員"));
    window.show();
    return app.exec();
}
