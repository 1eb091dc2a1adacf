#pragma once
#include "ui/TImageList.h"

#include <QStringList>

class QMimeType;
class QTreeWidgetItem;

// The window's image lists and the icon key list that goes with them. The file list's small
// and large lists begin with the same six fixed images; image 6 + i belongs to key i of the
// icon key list (an upper-case extension with its dot, the path of a file that shows its own
// icon, or the name of a shortcut). The tree has a list of its own. Window thread only.
class TImageLists {
public:
    /// The fixed images at the head of both file list image lists.
    enum FixedImage { Folder = 0, File = 1, Program = 2, Shortcut = 3, IconFile = 4, Cursor = 5 };
    static constexpr int kFixedImages = 6;

    /// Tree images by the numbers the tree's nodes carry.
    enum TreeImage {
        TreeFolder = 0, TreeFolderOpen = 1, TreeRemovable = 2, TreeFixed = 3, TreeNetworkDrive = 4,
        TreeCd = 5, TreeComputer = 6, TreeNetwork = 7, TreeDomain = 8, TreeBookmarkRoot = 11,
        TreeSharedFolder = 12, TreeSharedFolderOpen = 13, TreeSharedDrive = 15, TreeSharedCd = 16,
    };
    static constexpr int kTreeImages = 17;

    TImageLists();

    TImageList SImageList{16};
    TImageList LImageList{32};
    TImageList TreeImageList{16};
    QStringList IconKeys;

    /// The list of the size a view style shows: large for large icons (style 0).
    TImageList& listImages(bool large) { return large ? LImageList : SImageList; }
    /// Position of `key` in the icon key list, without regard to case; -1 when missing.
    int findKey(const QString& key) const;
    /// Empties the key list and deletes every image after the fixed ones from both file list
    /// image lists: done before each new folder, so a stopped lister can never leave images
    /// that no key accounts for.
    void resetListImages();

    /// The picture of a fixed file list image (0 to 5) from the icon theme.
    static QIcon fixedIcon(int index);
    /// The picture of a tree image (0 to 16) from the icon theme.
    static QIcon treeIcon(int index);
    /// The picture of an FTP site node, which its record stores with a computer's number.
    static QIcon ftpSiteIcon();
    /// Gives a tree node the icons of the image and selected image numbers in its roles.
    static void showTreeImages(QTreeWidgetItem* node);
    /// The theme's icon of a file type, by its MIME icon name and then its generic icon name;
    /// a null icon when the theme has neither.
    static QIcon mimeIcon(const QMimeType& type);
    /// The icon of a name from an icon theme, or a picture file's path; a null icon when
    /// neither gives one.
    static QIcon namedIcon(const QString& nameOrPath);
    /// Reads the icon themes and the file type database ahead of their first use (once a
    /// run): a first listing otherwise waits for them. For a moment the window would
    /// otherwise spend idle, such as a wait for a server.
    static void prepareFileTypeIcons();
    /// Chooses the icon theme once for the process, before any picture is looked up: the XDG
    /// data folders' themes are searched, and where the desktop names none, the first of
    /// Adwaita, breeze and oxygen that is installed, else hicolor.
    static void ensureIconTheme();
};
