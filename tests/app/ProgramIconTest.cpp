// The windows' own icon: the one the package installs into the icon theme under the desktop
// entry's name, so that an X11 window manager shows it instead of a generic picture.
#include "app/Application.h"
#include "support/ScopedEnvironment.h"
#include "support/TempConfig.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QWidget>

#include <filesystem>

TEST(ProgramIcon, WindowsCarryTheInstalledIconOfTheDesktopEntry)
{
    TempConfig config;
    TempFolder data;
    ScopedEnvironment environment{"XDG_DATA_DIRS", "XDG_DATA_HOME"};
    // A data folder as the install rules lay it out, with hicolor as its only theme: on a
    // system without the recommended icon theme the icon must still be found.
    const std::string apps = "share/icons/hicolor/48x48/apps";
    std::filesystem::create_directories(data.path(apps));
    data.writeFile("share/icons/hicolor/index.theme",
                   "[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps\n\n"
                   "[48x48/apps]\nSize=48\nType=Fixed\n");
    QImage picture(48, 48, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QString::fromStdString(data.path(apps + "/org.tamsel.Tamsel.png"))));
    setenv("XDG_DATA_DIRS", data.path("share").c_str(), 1);
    setenv("XDG_DATA_HOME", data.path("home").c_str(), 1);
    QIcon::setThemeSearchPaths({});
    QIcon::setThemeName({});

    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    PrepareApplication(*app);

    const QIcon icon = app->windowIcon();
    ASSERT_FALSE(icon.isNull()) << "no window icon; theme " << QIcon::themeName().toStdString();
    EXPECT_EQ(icon.pixmap(48, 48).toImage().pixelColor(24, 24), QColor(Qt::red));
    QWidget window;
    EXPECT_EQ(window.windowIcon().cacheKey(), icon.cacheKey());
}
