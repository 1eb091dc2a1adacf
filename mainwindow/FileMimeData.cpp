#include "mainwindow/FileMimeData.h"

#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "resources/StringTable.h"

#include <QCoreApplication>
#include <QMimeData>
#include <QUrl>

#include <cstdio>

namespace FileMime {

namespace {

constexpr char kSeparator = '\0';

QByteArray EncodeEntries(const std::vector<std::string>& entries)
{
    QByteArray bytes = QByteArray::number(QCoreApplication::applicationPid());
    for (const std::string& entry : entries) {
        bytes.append(kSeparator);
        bytes.append(entry.data(), static_cast<qsizetype>(entry.size()));
    }
    return bytes;
}

Entries DecodeEntries(const QByteArray& bytes)
{
    Entries result;
    const QList<QByteArray> fields = bytes.split(kSeparator);
    bool numeric = false;
    const qint64 pid = fields.value(0).toLongLong(&numeric);
    result.fromThisProcess = numeric && pid == QCoreApplication::applicationPid();
    for (qsizetype i = 1; i < fields.size(); ++i)
        if (!fields[i].isEmpty())
            result.entries.emplace_back(fields[i].constData(), static_cast<size_t>(fields[i].size()));
    return result;
}

std::string StripTrailingSeparator(std::string path)
{
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

}  // namespace

QUrl UrlOfPath(const std::string& path)
{
    if (IsUncPath(path)) {
        std::string rest = StripTrailingSeparator(path).substr(2);
        const size_t slash = rest.find('\\');
        if (slash == 0 || slash == std::string::npos || slash + 1 >= rest.size())
            return {};
        QString tail = QString::fromStdString(rest.substr(slash));
        tail.replace(QLatin1Char('\\'), QLatin1Char('/'));
        QUrl url;
        url.setScheme(QStringLiteral("smb"));
        url.setHost(QString::fromStdString(rest.substr(0, slash)));
        url.setPath(tail);
        return url.isValid() ? url : QUrl();
    }
    const std::string native = NativePath(path);
    if (native.empty())
        return {};
    return QUrl::fromLocalFile(QString::fromStdString(native));
}

std::string PathOfUrl(const QUrl& url)
{
    if (url.isLocalFile()) {
        const std::string native = url.toLocalFile().toStdString();
        return native.empty() || native[0] != '/' ? std::string() : WindowsPath(native);
    }
    if (url.scheme() != QLatin1String("smb") || url.host().isEmpty())
        return {};
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (path.isEmpty() || path.contains(QLatin1Char('\\')))
        return {};
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return "\\\\" + url.host().toUpper().toStdString() + path.toStdString();
}

bool IsRealEntry(const std::string& entry)
{
    return !entry.empty() && static_cast<unsigned char>(entry[0]) >= 'A';
}

std::unique_ptr<QMimeData> MakeFileData(const std::vector<std::string>& entries, bool cut)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const std::string& entry : entries)
        if (IsRealEntry(entry))
            if (QUrl url = UrlOfPath(entry); url.isValid())
                urls.append(url);
    if (!urls.isEmpty()) {
        data->setUrls(urls);
        QByteArray gnome = cut ? "cut" : "copy";
        QStringList lines;
        for (const QUrl& url : urls) {
            gnome += '\n';
            gnome += url.toEncoded();
            lines.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
        }
        data->setData(GnomeCopiedFilesType, gnome);
        data->setText(lines.join(QLatin1Char('\n')));
        if (cut)
            data->setData(KdeCutType, "1");
    }
    data->setData(EntriesType, EncodeEntries(entries));
    return data;
}

Entries EntriesOf(const QMimeData& data)
{
    Entries result;
    if (data.hasFormat(EntriesType)) {
        result = DecodeEntries(data.data(EntriesType));
    } else {
        QList<QUrl> urls = data.urls();
        // Some file managers offer their copies only in their own list: the marker line,
        // then one URL per line.
        if (urls.isEmpty() && data.hasFormat(GnomeCopiedFilesType)) {
            const QList<QByteArray> lines = data.data(GnomeCopiedFilesType).split('\n');
            for (qsizetype i = 1; i < lines.size(); ++i)
                if (const QByteArray line = lines[i].trimmed(); !line.isEmpty())
                    urls.append(QUrl::fromEncoded(line));
        }
        for (const QUrl& url : urls)
            if (std::string path = PathOfUrl(url); !path.empty())
                result.entries.push_back(std::move(path));
    }
    // Drag data is another program's word: each entry's name is what a drop creates at its
    // destination, so it passes the check of every entering name.
    // (FTP entries separate with '/', paths with '\\'.)
    std::erase_if(result.entries, [](const std::string& entry) {
        std::string_view path = entry;
        while (path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
            path.remove_suffix(1);
        const std::string fault = NameFault(path.substr(path.find_last_of("\\/") + 1));
        if (!fault.empty())
            std::fprintf(stderr, "tamsel: %s (%s)\n", UiFormat("拒絕不安全的名稱: %1", {entry}).c_str(), fault.c_str());
        return !fault.empty();
    });
    if (data.hasFormat(GnomeCopiedFilesType))
        result.cut = data.data(GnomeCopiedFilesType).startsWith("cut");
    else if (data.hasFormat(KdeCutType))
        result.cut = data.data(KdeCutType).startsWith('1');
    return result;
}

}  // namespace FileMime
