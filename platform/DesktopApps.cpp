#include "platform/DesktopApps.h"

#include "platform/Environment.h"
#include "resources/UiText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTextStream>

namespace {

using Group = QHash<QString, QString>;
using KeyFile = QHash<QString, Group>;

// A desktop-entry style key file: [Group] then Key=Value lines; comments and blanks skipped.
KeyFile readKeyFile(const QString& path)
{
    KeyFile groups;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return groups;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    QString current;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            current = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0 || current.isEmpty())
            continue;
        const QString key = line.left(eq).trimmed();
        if (!groups[current].contains(key))
            groups[current].insert(key, line.mid(eq + 1).trimmed());
    }
    return groups;
}

QStringList splitList(const QString& value)
{
    QStringList items;
    for (const QString& item : value.split(';', Qt::SkipEmptyParts))
        if (!item.trimmed().isEmpty())
            items << item.trimmed();
    return items;
}

QStringList envDirs(const char* name, const QString& fallback)
{
    QStringList dirs;
    const QString value = qEnvironmentVariable(name);
    for (const QString& dir : (value.isEmpty() ? fallback : value).split(':', Qt::SkipEmptyParts))
        if (dir.startsWith('/'))
            dirs << dir;
    return dirs;
}

QString configHome() { return QString::fromStdString(XdgFolder("XDG_CONFIG_HOME", ".config")); }
QString dataHome() { return QString::fromStdString(XdgFolder("XDG_DATA_HOME", ".local/share")); }
QStringList configDirs() { return envDirs("XDG_CONFIG_DIRS", "/etc/xdg"); }
QStringList dataDirs() { return envDirs("XDG_DATA_DIRS", "/usr/local/share:/usr/share"); }

QStringList applicationDirs()
{
    QStringList dirs{dataHome() + "/applications"};
    for (const QString& dir : dataDirs())
        dirs << dir + "/applications";
    return dirs;
}

// The mimeapps.list files, most important first.
QStringList mimeAppsLists()
{
    QStringList desktops;
    for (const QString& desktop : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(':', Qt::SkipEmptyParts))
        desktops << desktop.toLower();
    QStringList folders{configHome()};
    folders << configDirs();
    folders << dataHome() + "/applications";
    for (const QString& dir : dataDirs())
        folders << dir + "/applications";
    QStringList files;
    for (const QString& folder : folders) {
        for (const QString& desktop : desktops)
            files << folder + "/" + desktop + "-mimeapps.list";
        files << folder + "/mimeapps.list";
    }
    return files;
}

// Desktop file ids map to paths: "org-example-Viewer.desktop" may live in a subfolder
// "org/example-Viewer.desktop"; the first application folder that has it wins.
QString findDesktopFile(const QString& id)
{
    for (const QString& dir : applicationDirs()) {
        const QString direct = dir + "/" + id;
        if (QFileInfo::exists(direct))
            return direct;
        QString nested = id;
        for (qsizetype dash = nested.indexOf('-'); dash >= 0; dash = nested.indexOf('-', dash + 1)) {
            QString candidate = nested;
            candidate[dash] = '/';
            if (QFileInfo::exists(dir + "/" + candidate))
                return dir + "/" + candidate;
        }
    }
    return {};
}

QString localizedName(const Group& entry)
{
    for (const char* key : {"Name[zh_TW]", "Name[zh_Hant]", "Name[zh_HK]", "Name[zh]"})
        if (entry.contains(key))
            return entry.value(key);
    return entry.value("Name");
}

// The Exec line's quoting: arguments split on blanks, double quotes group, and inside
// quotes a backslash escapes " ` $ and backslash. Empty on an unterminated quote.
std::optional<QStringList> splitExec(const QString& exec)
{
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool hasArg = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (inQuotes) {
            if (c == '\\' && i + 1 < exec.size() && QString("\"`$\\").contains(exec[i + 1]))
                current += exec[++i];
            else if (c == '"')
                inQuotes = false;
            else
                current += c;
        } else if (c == '"') {
            inQuotes = true;
            hasArg = true;
        } else if (c == ' ' || c == '\t') {
            if (hasArg || !current.isEmpty())
                args << current;
            current.clear();
            hasArg = false;
        } else {
            current += c;
        }
    }
    if (inQuotes)
        return std::nullopt;
    if (hasArg || !current.isEmpty())
        args << current;
    return args;
}

} // namespace

namespace DesktopApps {

QString MimeTypeOfFile(const QString& nativePath)
{
    return QMimeDatabase().mimeTypeForFile(nativePath).name();
}

QString MimeTypeOfName(const QString& fileName)
{
    return QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension).name();
}

std::optional<DesktopApp> Load(const QString& id)
{
    const QString path = findDesktopFile(id);
    if (path.isEmpty())
        return std::nullopt;
    auto app = LoadFile(path);
    if (app)
        app->id = id;
    return app;
}

std::optional<DesktopApp> LoadFile(const QString& path)
{
    const KeyFile file = readKeyFile(path);
    const Group entry = file.value("Desktop Entry");
    if (entry.value("Type") != "Application" || entry.value("Hidden") == "true" || entry.value("Exec").isEmpty())
        return std::nullopt;
    const QString tryExec = entry.value("TryExec");
    if (!tryExec.isEmpty() && QStandardPaths::findExecutable(tryExec).isEmpty()
        && !QFileInfo(tryExec).isExecutable())
        return std::nullopt;
    DesktopApp app;
    app.id = QFileInfo(path).fileName();
    app.name = localizedName(entry);
    app.exec = entry.value("Exec");
    app.icon = entry.value("Icon");
    app.filePath = path;
    app.terminal = entry.value("Terminal") == "true";
    return app;
}

QList<DesktopApp> ApplicationsFor(const QString& mimeType)
{
    QStringList types{mimeType};
    const QMimeType mime = QMimeDatabase().mimeTypeForName(mimeType);
    if (mime.isValid()) {
        if (mime.name() != mimeType)
            types << mime.name();  // an alias: look under the canonical name too
        types << mime.allAncestors();
    }

    QStringList ordered;
    QSet<QString> removed;
    auto add = [&](const QString& id) {
        if (!ordered.contains(id) && !removed.contains(id))
            ordered << id;
    };
    // Per type, in the lists' order: defaults first, then added associations; removed
    // ones of a list hide that application in every less important list and cache.
    for (const QString& type : types) {
        QStringList defaults;
        QStringList added;
        QSet<QString> removedHere = removed;
        for (const QString& list : mimeAppsLists()) {
            const KeyFile file = readKeyFile(list);
            for (const QString& id : splitList(file.value("Default Applications").value(type)))
                if (!removedHere.contains(id) && !defaults.contains(id))
                    defaults << id;
            for (const QString& id : splitList(file.value("Added Associations").value(type)))
                if (!removedHere.contains(id) && !added.contains(id))
                    added << id;
            for (const QString& id : splitList(file.value("Removed Associations").value(type)))
                removedHere.insert(id);
        }
        for (const QString& id : defaults)
            add(id);
        for (const QString& id : added)
            add(id);
        for (const QString& dir : applicationDirs()) {
            const KeyFile cache = readKeyFile(dir + "/mimeinfo.cache");
            for (const QString& id : splitList(cache.value("MIME Cache").value(type)))
                if (!removedHere.contains(id))
                    add(id);
        }
        removed.unite(removedHere);
    }

    QList<DesktopApp> apps;
    for (const QString& id : ordered)
        if (const auto app = Load(id))
            apps << *app;
    return apps;
}

std::optional<DesktopApp> DefaultFor(const QString& mimeType)
{
    const QList<DesktopApp> apps = ApplicationsFor(mimeType);
    if (apps.isEmpty())
        return std::nullopt;
    return apps.front();
}

QStringList ExpandExec(const DesktopApp& app, const QStringList& nativeFiles)
{
    const auto split = splitExec(app.exec);
    if (!split || split->isEmpty())
        return {};
    QStringList out;
    for (const QString& arg : *split) {
        if (arg == "%F" || arg == "%U") {
            out << nativeFiles;
            continue;
        }
        if (arg == "%i") {
            if (!app.icon.isEmpty())
                out << "--icon" << app.icon;
            continue;
        }
        QString expanded;
        bool dropped = false;
        for (qsizetype i = 0; i < arg.size(); ++i) {
            if (arg[i] != '%' || i + 1 == arg.size()) {
                expanded += arg[i];
                continue;
            }
            const QChar code = arg[++i];
            if (code == '%')
                expanded += '%';
            else if (code == 'f' || code == 'u') {
                if (nativeFiles.isEmpty())
                    dropped = true;
                else
                    expanded += nativeFiles.front();
            } else if (code == 'c')
                expanded += app.name;
            else if (code == 'k')
                expanded += app.filePath;
            else if (code == 'F' || code == 'U') {
                expanded += nativeFiles.join(' ');
            }
            // Deprecated and unknown codes are dropped.
        }
        if (!dropped && !(expanded.isEmpty() && arg.startsWith('%')))
            out << expanded;
    }
    return out;
}

bool Launch(const DesktopApp& app, const QStringList& nativeFiles, QString* reason)
{
    auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    QStringList command = ExpandExec(app, nativeFiles);
    if (command.isEmpty())
        return fail(UiText("應用程式「%1」的啟動指令有誤").arg(app.name));
    if (app.terminal) {
        const QString terminal = QStandardPaths::findExecutable("x-terminal-emulator");
        if (terminal.isEmpty())
            return fail(UiText("應用程式「%1」要在終端機中執行，但這部電腦沒有終端機程式").arg(app.name));
        command = QStringList{terminal, "-e"} + command;
    }
    const QString program = command.takeFirst();
    // Said before trying: a program that is not there fails with no useful word of its own.
    const QString found = QFileInfo(program).isAbsolute() ? program : QStandardPaths::findExecutable(program);
    if (found.isEmpty() || !QFileInfo(found).isExecutable())
        return fail(UiText("找不到應用程式「%1」要執行的程式「%2」").arg(app.name, program));
    QProcess process;
    process.setProgram(found);
    process.setArguments(command);
    if (!process.startDetached())
        return fail(UiText("應用程式「%1」無法啟動:%2").arg(app.name, process.errorString()));
    return true;
}

} // namespace DesktopApps
