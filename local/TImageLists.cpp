#include "local/TImageLists.h"

#include "store/NodeTree.h"

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>
#include <QStyle>
#include <QTreeWidgetItem>

namespace {

struct ThemeImage {
    const char* names[3];           // first one the theme has wins
    QStyle::StandardPixmap fallback; // when the theme has none (a bare session has no theme)
};

const ThemeImage kFixedPictures[TImageLists::kFixedImages] = {
    {{"folder", nullptr, nullptr}, QStyle::SP_DirIcon},
    {{"text-x-generic", "unknown", nullptr}, QStyle::SP_FileIcon},
    {{"application-x-executable", "application-x-generic", nullptr}, QStyle::SP_ComputerIcon},
    {{"emblem-symbolic-link", "inode-symlink", nullptr}, QStyle::SP_FileLinkIcon},
    {{"image-x-generic", nullptr, nullptr}, QStyle::SP_FileIcon},
    {{"input-mouse", "image-x-generic", nullptr}, QStyle::SP_FileIcon},
};

// Numbers 9, 10 and 14 name no node kind of their own; they repeat folder pictures so that
// every number up to 16 shows something.
const ThemeImage kTreePictures[TImageLists::kTreeImages] = {
    {{"folder", nullptr, nullptr}, QStyle::SP_DirClosedIcon},
    {{"folder-open", "folder", nullptr}, QStyle::SP_DirOpenIcon},
    {{"drive-removable-media", "media-removable", nullptr}, QStyle::SP_DriveFDIcon},
    {{"drive-harddisk", nullptr, nullptr}, QStyle::SP_DriveHDIcon},
    {{"folder-remote", "network-server", nullptr}, QStyle::SP_DriveNetIcon},
    {{"drive-optical", "media-optical", nullptr}, QStyle::SP_DriveCDIcon},
    {{"computer", nullptr, nullptr}, QStyle::SP_ComputerIcon},
    {{"network-workgroup", "network-wired", nullptr}, QStyle::SP_DriveNetIcon},
    {{"network-server", "network-workgroup", nullptr}, QStyle::SP_DriveNetIcon},
    {{"folder", nullptr, nullptr}, QStyle::SP_DirClosedIcon},
    {{"folder-open", "folder", nullptr}, QStyle::SP_DirOpenIcon},
    {{"user-bookmarks", "bookmark-new", nullptr}, QStyle::SP_DirLinkIcon},
    {{"folder-publicshare", "folder-remote", nullptr}, QStyle::SP_DirLinkIcon},
    {{"folder-publicshare", "folder-open", nullptr}, QStyle::SP_DirOpenIcon},
    {{"folder", nullptr, nullptr}, QStyle::SP_DirClosedIcon},
    {{"folder-remote", "drive-harddisk", nullptr}, QStyle::SP_DriveNetIcon},
    {{"drive-optical", "media-optical", nullptr}, QStyle::SP_DriveCDIcon},
};

QIcon iconOf(const ThemeImage& image)
{
    for (const char* name : image.names) {
        if (!name)
            break;
        const QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
        if (!icon.isNull())
            return icon;
    }
    return QApplication::style()->standardIcon(image.fallback);
}

} // namespace

TImageLists::TImageLists()
{
    for (int i = 0; i < kFixedImages; ++i) {
        const QIcon icon = fixedIcon(i);
        SImageList.add(icon);
        LImageList.add(icon);
    }
    for (int i = 0; i < kTreeImages; ++i)
        TreeImageList.add(treeIcon(i));
}

int TImageLists::findKey(const QString& key) const
{
    for (int i = 0; i < IconKeys.size(); ++i)
        if (IconKeys[i].compare(key, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void TImageLists::resetListImages()
{
    IconKeys.clear();
    SImageList.truncate(kFixedImages);
    LImageList.truncate(kFixedImages);
}

void TImageLists::ensureIconTheme()
{
    // Without a desktop session (offscreen, a bare window manager) Qt picks no theme and
    // looks only in its resources; the pictures then come from the installed themes of the
    // XDG data folders rather than the style's few.
    static const bool once = [] {
        QStringList paths = QIcon::themeSearchPaths();
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        QStringList roots{dataHome.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : QString::fromLocal8Bit(dataHome)};
        const QByteArray dataDirs = qgetenv("XDG_DATA_DIRS");
        roots += QString::fromLocal8Bit(dataDirs.isEmpty() ? QByteArray("/usr/local/share:/usr/share") : dataDirs).split(u':', Qt::SkipEmptyParts);
        for (const QString& root : roots)
            if (!paths.contains(root + QStringLiteral("/icons")) && QDir(root + QStringLiteral("/icons")).exists())
                paths.append(root + QStringLiteral("/icons"));
        QIcon::setThemeSearchPaths(paths);
        if (QIcon::fallbackThemeName().isEmpty())
            QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
        const QString name = QIcon::themeName();
        if (name.isEmpty() || name == QLatin1String("hicolor")) {
            for (const char* candidate : {"Adwaita", "breeze", "oxygen"}) {
                const bool installed = std::any_of(paths.cbegin(), paths.cend(), [candidate](const QString& path) {
                    return QDir(path + u'/' + QLatin1String(candidate)).exists();
                });
                if (installed) {
                    QIcon::setThemeName(QLatin1String(candidate));
                    break;
                }
            }
            // With no theme named Qt looks up no theme at all, hicolor included.
            if (QIcon::themeName().isEmpty())
                QIcon::setThemeName(QStringLiteral("hicolor"));
        }
        return true;
    }();
    (void)once;
}

QIcon TImageLists::fixedIcon(int index)
{
    ensureIconTheme();
    return index >= 0 && index < kFixedImages ? iconOf(kFixedPictures[index]) : QIcon();
}

QIcon TImageLists::treeIcon(int index)
{
    ensureIconTheme();
    return index >= 0 && index < kTreeImages ? iconOf(kTreePictures[index]) : QIcon();
}

QIcon TImageLists::ftpSiteIcon()
{
    ensureIconTheme();
    return iconOf({{"folder-remote-ftp", "network-server", "folder-remote"}, QStyle::SP_DriveNetIcon});
}

QIcon TImageLists::mimeIcon(const QMimeType& type)
{
    ensureIconTheme();
    if (!type.isValid())
        return {};
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    return icon;
}

void TImageLists::prepareFileTypeIcons()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    ensureIconTheme();
    const QMimeDatabase database;
    // A name no theme has walks the whole chain of themes, which reads each one's index.
    const QMimeType type = database.mimeTypeForFile(QStringLiteral("x.txt"), QMimeDatabase::MatchExtension);
    QIcon::fromTheme(type.iconName());
    QIcon::fromTheme(QStringLiteral("tamsel-no-such-icon"));
}

QIcon TImageLists::namedIcon(const QString& nameOrPath)
{
    ensureIconTheme();
    if (nameOrPath.isEmpty())
        return {};
    if (QDir::isAbsolutePath(nameOrPath)) {
        if (!QFileInfo(nameOrPath).isFile())
            return {};
        QIcon icon(nameOrPath);
        return icon.availableSizes().isEmpty() && icon.pixmap(16, 16).isNull() ? QIcon() : icon;
    }
    return QIcon::fromTheme(nameOrPath);
}

void TImageLists::showTreeImages(QTreeWidgetItem* node)
{
    const int image = node->data(0, ImageIndexRole).toInt();
    const int selected = node->data(0, SelectedIndexRole).toInt();
    QIcon icon = treeIcon(image);
    if (selected != image)
        for (const QSize& size : icon.availableSizes())
            icon.addPixmap(treeIcon(selected).pixmap(size), QIcon::Selected);
    node->setIcon(0, icon);
}
