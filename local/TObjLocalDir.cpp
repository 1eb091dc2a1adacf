#include "local/TObjLocalDir.h"

#include "local/ErrorText.h"
#include "local/NameOrder.h"
#include "local/TImageLists.h"
#include "platform/DateTime.h"
#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "resources/StringTable.h"
#include "ui/TListView.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QMimeDatabase>
#include <QPixmap>
#include <QPointer>
#include <QSet>

#include <algorithm>
#include <numeric>
#include <unistd.h>

namespace {

constexpr int kMaxPath = 255;
// Distinct texts kept for sharing before the set starts afresh.
constexpr qsizetype kInternedTexts = 4096;
// The formatter's range: years 1 to 9999.
constexpr double kFirstDate = -693593.0;
constexpr double kLastDate = 2958466.0;

QString fromStr(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Extensions of scripts and packaged programs that, marked executable, are programs here.
bool IsProgramExtension(const QString& upperExt)
{
    static const QStringList kPrograms = {QString(), QStringLiteral(".SH"), QStringLiteral(".RUN"),
                                          QStringLiteral(".BIN"), QStringLiteral(".APPIMAGE"),
                                          QStringLiteral(".PY"), QStringLiteral(".PL")};
    return kPrograms.contains(upperExt);
}

uint32_t ReadLe32(const QByteArray& data, qsizetype at)
{
    if (at < 0 || at + 4 > data.size())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData() + at);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}

// The target of a shell link file: the local base path of its link information plus the
// common suffix. Every offset is checked; a damaged link gives an empty target.
QString ShellLinkTarget(const QString& nativePath)
{
    QFile file(nativePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.read(64 * 1024);
    if (ReadLe32(data, 0) != 0x4C)
        return {};
    const uint32_t flags = ReadLe32(data, 20);
    qsizetype at = 76;
    if (flags & 0x1) {  // an item id list comes first
        if (at + 2 > data.size())
            return {};
        at += 2 + (uchar(data[at]) | (uchar(data[at + 1]) << 8));
    }
    if (!(flags & 0x2))
        return {};
    const uint32_t infoSize = ReadLe32(data, at);
    if (infoSize < 28 || at + infoSize > uint32_t(data.size()))
        return {};
    auto textAt = [&](uint32_t offset) -> QString {
        if (offset == 0 || offset >= infoSize)
            return {};
        const QByteArray field = data.mid(at + offset, infoSize - offset);
        return QString::fromLocal8Bit(field.left(field.indexOf('\0') < 0 ? field.size() : field.indexOf('\0')));
    };
    const QString base = (ReadLe32(data, at + 8) & 0x1) ? textAt(ReadLe32(data, at + 16)) : QString();
    return (base + textAt(ReadLe32(data, at + 24))).left(kMaxPath);
}

// The Icon= of a desktop launcher's main group; empty when it names none.
QString DesktopEntryIcon(const QString& nativePath)
{
    QFile file(nativePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inMain = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
        if (line.startsWith(u'['))
            inMain = line == QLatin1String("[Desktop Entry]");
        else if (inMain && line.startsWith(QLatin1String("Icon=")))
            return line.mid(5).trimmed();
    }
    return {};
}

// The first picture of an animated cursor: its frames are icon resources in "icon" chunks.
QImage FirstAnimatedCursorFrame(const QString& nativePath)
{
    QFile file(nativePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.read(4 * 1024 * 1024);
    if (!data.startsWith("RIFF") || data.mid(8, 4) != "ACON")
        return {};
    for (qsizetype at = 12; at + 8 <= data.size();) {
        const QByteArray id = data.mid(at, 4);
        const uint32_t size = ReadLe32(data, at + 4);
        if (id == "LIST") {
            at += 12;  // enter the list: its chunks follow its type
            continue;
        }
        if (size > uint32_t(data.size() - at - 8))
            return {};
        if (id == "icon")
            return QImage::fromData(data.mid(at + 8, size), "ICO");
        at += 8 + size + (size & 1);
    }
    return {};
}

} // namespace

// A prepared list item: the texts of the view style the lister runs for.
// An own icon found in the second pass, for the window thread to add.
struct TObjLocalDir::OwnIcon {
    int item = 0;
    QImage image;      // read from the file itself
    QString iconName;  // or a theme name or picture path to look up on the window thread
    QString key;
};

TObjLocalDir::TObjLocalDir(TListView* listView, TImageLists* images, const QString& folderPath)
    : m_listView(listView)
    , m_images(images)
    , m_folderPath(folderPath)
    , m_large(listView->viewStyle() == TListView::LargeIcons)
    , m_details(listView->viewStyle() == TListView::Details)
{
    SetReceiver(listView);
}

QString TObjLocalDir::AttributeText(uint32_t attributes)
{
    static const std::pair<uint32_t, int> kWords[] = {
        {0x2, 20033}, {0x1, 20034}, {0x4, 20035}, {0x100, 20036}, {0x800, 20037}};
    static const QString kPlain = fromStr(LoadStr(20038));
    static const QStringList kTexts = [] {
        QStringList texts;
        for (const auto& word : kWords)
            texts << fromStr(LoadStr(word.second));
        return texts;
    }();
    QString text;
    for (size_t i = 0; i < std::size(kWords); ++i)
        if (attributes & kWords[i].first)
            text += kTexts[qsizetype(i)];
    if (text.isEmpty())
        return kPlain;
    text.chop(1);
    return text;
}

QString TObjLocalDir::DateText(double modified)
{
    static const QString kUnknown = fromStr(LoadStr(20039));
    if (!(modified >= kFirstDate && modified < kLastDate))
        return kUnknown;
    return fromStr(DateTimeText(modified));
}

QString TObjLocalDir::SizeText(uint64_t size)
{
    return QLocale().toString(static_cast<double>(size) / 1024.0, 'f', 2) + QStringLiteral("KB");
}

QString TObjLocalDir::Extension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

std::string TObjLocalDir::nativePath(const TLocalItem& item) const
{
    return NativePath(fullPath(item).toStdString());
}

void TObjLocalDir::reportStatus()
{
    SynchronizeUnlessStopped([this] {
        if (OnStatus)
            OnStatus(this);
    });
}

void TObjLocalDir::Execute()
{
    RunState = 3;
    reportStatus();
    m_secondPass = false;
    if (readFolder()) {
        sortItems();
        if (!Terminated()) {
            firstPass();
            if (m_secondPass && !Terminated())
                secondPass();
        }
        Completed = true;
    }
    RunState = 5;
    reportStatus();
    if (Terminated())
        OnTerminate = nullptr;
    else
        CallCompletion();
}

bool TObjLocalDir::readFolder()
{
    const qsizetype room = std::max<qsizetype>(0, kMaxPath - m_folderPath.size());
    int error = 0;
    const bool ok = ForEachDirectoryEntry((m_folderPath + QStringLiteral("*.*")).toStdString(),
                                          [this, room](FindEntry&& entry) {
        if (Terminated())
            return false;
        TLocalItem item;
        item.Name = fromStr(entry.name);
        if (item.Name.size() > room)
            item.Name.truncate(room);
        item.Attributes = entry.attributes;
        item.Modified = entry.modified;
        item.Symlink = entry.symlink;
        item.Executable = entry.executable;
        if (item.isFolder()) {
            ++FolderTotal;
        } else {
            ++FileTotal;
            item.Size = entry.size;
            ByteTotal += entry.size;
        }
        Items.push_back(std::move(item));
        return true;
    }, &error);
    if (!ok)
        ErrorText = fromStr(SystemErrorText(error));
    return ok;
}

void TObjLocalDir::sortItems()
{
    // Sort keys once per name: comparing through the collator a million times costs seconds
    // on a large folder.
    const NameOrder order;
    std::vector<QCollatorSortKey> keys;
    keys.reserve(Items.size());
    for (const TLocalItem& item : Items)
        keys.push_back(order.key(item.Name));
    std::vector<size_t> positions(Items.size());
    std::iota(positions.begin(), positions.end(), 0);
    std::stable_sort(positions.begin(), positions.end(), [&](size_t a, size_t b) {
        if (Items[a].isFolder() != Items[b].isFolder())
            return Items[a].isFolder();
        return keys[a].compare(keys[b]) < 0;
    });
    keys.clear();
    std::vector<TLocalItem> sorted;
    sorted.reserve(Items.size());
    for (size_t i : positions)
        sorted.push_back(std::move(Items[i]));
    Items.swap(sorted);
}

void TObjLocalDir::firstPass()
{
    QPointer<TListView> list = m_listView.data();
    Synchronize([this, list] {
        if (!list)
            return;
        list->beginUpdate();
        m_firstRow = list->model()->rowCount();
    });

    // Image numbers already settled in this run, by upper-case extension: the key list is
    // asked once per extension, not once per file.
    QHash<QString, int> known;
    QSet<QString> texts;
    auto intern = [&texts](const QString& text) {
        if (texts.size() > kInternedTexts)
            texts.clear();
        return *texts.insert(text);
    };
    double lastModified = -1e300;
    QString lastDate;
    auto batches = RowBatches([this](std::vector<TListItem>&& rows) { insertRows(std::move(rows)); });
    for (const TLocalItem& item : Items) {
        if (Terminated())
            break;
        TListItem row;
        row.Caption = item.Name;
        QString ext;
        if (!item.isFolder()) {
            ext = Extension(item.Name);
            const QString upper = ext.toUpper();
            // Links and launchers are keyed by their own name; programs are told by their
            // mode bits, not by the extension alone.
            const bool perFile = item.Symlink || upper == QLatin1String(".LNK")
                || upper == QLatin1String(".DESKTOP") || (item.Executable && IsProgramExtension(upper));
            const auto hit = perFile ? known.cend() : known.constFind(upper);
            if (hit != known.cend()) {
                row.ImageIndex = *hit;
            } else {
                int found = -1;
                if (!perFile)
                    SynchronizeUnlessStopped([&] { found = m_images->findKey(ext); });
                row.ImageIndex = found >= 0 ? found + TImageLists::kFixedImages : resolveIcon(item, upper);
                if (!perFile)
                    known.insert(upper, row.ImageIndex);
            }
            row.StateIndex = item.Size;
        }
        if (m_details) {
            // Equal texts share one string: a large folder repeats the same few sizes,
            // attribute words and extensions, and many files share their date.
            if (item.Modified != lastModified) {
                lastModified = item.Modified;
                lastDate = DateText(item.Modified);
            }
            row.SubItems = {intern(ext), m_folderPath, intern(item.isFolder() ? SizeText(0) : SizeText(item.Size)),
                            intern(AttributeText(item.Attributes)), lastDate};
        } else {
            row.SubItems = {QString(), m_folderPath};
        }
        batches.Add(std::move(row));
    }
    if (!Terminated())
        batches.Flush();

    // Paired with the begin above even when stopped, so the list's update count balances.
    Synchronize([list] {
        if (list)
            list->endUpdate();
    });
}

void TObjLocalDir::insertRows(std::vector<TListItem>&& rows)
{
    SynchronizeUnlessStopped([this, &rows] {
        if (m_listView)
            m_listView->model()->appendItems(rows);
    });
}

int TObjLocalDir::resolveIcon(const TLocalItem& item, const QString& upperExt)
{
    QString ext = upperExt;
    QString key = upperExt;
    if (item.Symlink || ext == QLatin1String(".LNK")) {
        // A shortcut shows the picture of what it points to, under its own name.
        QString target;
        if (item.Symlink) {
            const QFileInfo link(QString::fromStdString(nativePath(item)));
            target = link.symLinkTarget();
            if (QFileInfo(target).isExecutable() && !QFileInfo(target).isDir()
                && IsProgramExtension(Extension(QFileInfo(target).fileName()).toUpper()))
                return TImageLists::Shortcut;
        } else {
            target = ShellLinkTarget(QString::fromStdString(nativePath(item)));
        }
        ext = Extension(QFileInfo(target).fileName()).toUpper();
        key = item.Name;
        if (target.isEmpty() || ext == QLatin1String(".EXE"))
            return TImageLists::Shortcut;
    } else if (ext == QLatin1String(".DESKTOP")) {
        // A launcher is a shortcut; the picture it names comes in the second pass.
        if (!DesktopEntryIcon(QString::fromStdString(nativePath(item))).isEmpty())
            m_secondPass = true;
        return TImageLists::Shortcut;
    } else if (item.Executable && IsProgramExtension(ext)) {
        m_secondPass = true;
        return TImageLists::Program;
    } else if (ext.isEmpty()) {
        return TImageLists::File;
    }
    const bool shortcut = key != ext;
    const int fallback = shortcut ? TImageLists::Shortcut : TImageLists::File;
    if (ext == QLatin1String(".EXE") || ext == QLatin1String(".ICO") || ext == QLatin1String(".CUR")
        || ext == QLatin1String(".ANI")) {
        if (shortcut)
            return TImageLists::Shortcut;
        m_secondPass = true;
        return ext == QLatin1String(".EXE") ? TImageLists::Program
             : ext == QLatin1String(".ICO") ? TImageLists::IconFile : TImageLists::Cursor;
    }
    if (shortcut) {
        int found = -1;
        SynchronizeUnlessStopped([&] { found = m_images->findKey(ext); });
        if (found >= 0)
            return found + TImageLists::kFixedImages;
    }
    // The type by name; a name the database does not know gives its default type, which is
    // as good as no type at all.
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(QStringLiteral("x") + ext, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return fallback;
    int image = fallback;
    SynchronizeUnlessStopped([&] {
        const QIcon icon = TImageLists::mimeIcon(type);
        if (icon.isNull())
            return;
        m_images->listImages(m_large).add(icon);
        m_images->IconKeys.append(key);
        image = static_cast<int>(m_images->IconKeys.size()) - 1 + TImageLists::kFixedImages;
    });
    return image;
}

bool TObjLocalDir::loadOwnIcon(const TLocalItem& item, OwnIcon& icon) const
{
    const QString native = QString::fromStdString(nativePath(item));
    const QString ext = Extension(item.Name).toUpper();
    if (ext == QLatin1String(".ICO") || ext == QLatin1String(".CUR")) {
        QImageReader reader(native);
        reader.setDecideFormatFromContent(true);
        icon.image = reader.read();
    } else if (ext == QLatin1String(".ANI")) {
        icon.image = FirstAnimatedCursorFrame(native);
    } else if (ext == QLatin1String(".DESKTOP") && !item.Symlink) {
        icon.iconName = DesktopEntryIcon(native);
    } else if (item.Executable && IsProgramExtension(ext)) {
        // A program names its picture the way launchers do: a theme icon named after it.
        icon.iconName = QFileInfo(item.Name).completeBaseName();
        if (icon.iconName.isEmpty())
            return false;
    } else {
        // Windows programs keep their pictures in resources we do not read: they keep the
        // program image.
        return false;
    }
    if (icon.image.isNull() && icon.iconName.isEmpty())
        return false;
    icon.key = fullPath(item);
    return true;
}

void TObjLocalDir::secondPass()
{
    // The image lists live as long as the window that holds the list; begin and end are
    // not skipped when stopped, so they stay paired.
    Synchronize([this] {
        if (m_listView)
            m_images->listImages(m_large).beginUpdate();
    });
    std::vector<OwnIcon> slice;
    auto handOver = [this, &slice] {
        if (slice.empty())
            return;
        SynchronizeUnlessStopped([this, &slice] {
            TImageList& images = m_images->listImages(m_large);
            for (OwnIcon& own : slice) {
                const QIcon icon = own.image.isNull() ? TImageLists::namedIcon(own.iconName)
                                                      : QIcon(QPixmap::fromImage(own.image));
                if (icon.isNull())
                    continue;  // keeps its fixed image
                images.add(icon);
                m_images->IconKeys.append(own.key);
                const int image = static_cast<int>(m_images->IconKeys.size()) - 1 + TImageLists::kFixedImages;
                if (OnItemImage)
                    OnItemImage(m_firstRow + own.item, image);
            }
        });
        slice.clear();
    };
    auto sliceStart = std::chrono::steady_clock::now();
    for (size_t i = 0; i < Items.size(); ++i) {
        if (Terminated())
            break;
        const TLocalItem& item = Items[i];
        if (item.isFolder())
            continue;
        OwnIcon own;
        own.item = static_cast<int>(i);
        if (!loadOwnIcon(item, own))
            continue;
        if (!own.image.isNull()) {
            const int size = m_large ? 32 : 16;
            own.image = own.image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        if (slice.empty())
            sliceStart = std::chrono::steady_clock::now();
        slice.push_back(std::move(own));
        if (slice.size() >= kIconSlice || std::chrono::steady_clock::now() - sliceStart >= kBatchInterval)
            handOver();
    }
    if (!Terminated())
        handOver();
    Synchronize([this] {
        if (m_listView)
            m_images->listImages(m_large).endUpdate();
    });
}
