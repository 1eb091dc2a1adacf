#include "app/StartRequests.h"

#include "platform/ProgramFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>

#include <unistd.h>

namespace {

// A request is one short line; anything longer is not one of ours.
constexpr qint64 kMaxRequest = 64 * 1024;
const QByteArray kTaken = "taken\n";

} // namespace

StartRequests::StartRequests(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &StartRequests::takeConnection);
}

StartRequests::~StartRequests() = default;

QString StartRequests::socketPath()
{
    // Two program folders (a portable copy, a test's private one) are two Tamsels.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::fromStdString(ProgramFolder()));
    hash.addData(qgetenv("TAMSEL_CONFIG"));
    const QString name = QStringLiteral("tamsel-%1-%2.sock")
                             .arg(::getuid())
                             .arg(QString::fromLatin1(hash.result().toHex().left(16)));
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(name);
}

QByteArray StartRequests::encode(const StartOptions& options)
{
    QJsonObject o;
    o.insert(QStringLiteral("select"), QString::fromStdString(options.SelectPath));
    o.insert(QStringLiteral("cached"), options.Cached);
    o.insert(QStringLiteral("computer"), QString::fromStdString(options.Computer));
    o.insert(QStringLiteral("item"), QString::fromStdString(options.Item));
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

bool StartRequests::decode(const QByteArray& line, StartOptions& options)
{
    const QJsonDocument document = QJsonDocument::fromJson(line.trimmed());
    if (!document.isObject())
        return false;
    const QJsonObject o = document.object();
    options = StartOptions();
    options.SelectPath = o.value(QStringLiteral("select")).toString().toStdString();
    options.Cached = o.value(QStringLiteral("cached")).toBool();
    options.Computer = o.value(QStringLiteral("computer")).toString().toStdString();
    options.Item = o.value(QStringLiteral("item")).toString().toStdString();
    // What arrives is checked as a command line would be.
    std::vector<std::string> words;
    if (!options.SelectPath.empty())
        words.insert(words.end(), {"--select", options.SelectPath});
    if (options.Cached)
        words.emplace_back("--cached");
    if (!options.Computer.empty())
        words.insert(words.end(), {"--computer", options.Computer});
    if (!options.Item.empty())
        words.insert(words.end(), {"--item", options.Item});
    options = ParseStartOptions(words);
    return options.Error.empty() && !options.SelectPath.empty();
}

bool StartRequests::handOver(const StartOptions& options, int waitMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(waitMs))
        return false;
    socket.write(encode(options));
    if (!socket.waitForBytesWritten(waitMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(waitMs))
            return false;
    }
    return socket.readLine() == kTaken;
}

bool StartRequests::listen()
{
    const QString path = socketPath();
    if (m_server->listen(path))
        return true;
    // A socket left by a Tamsel that ended without removing it: nobody answers there
    // (the caller tried to hand over first), so it goes.
    if (m_server->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(path);
        if (m_server->listen(path))
            return true;
    }
    m_error = m_server->errorString();
    return false;
}

void StartRequests::takeConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxRequest)
                    socket->abort();
                return;
            }
            StartOptions options;
            const bool ok = decode(socket->readLine(kMaxRequest), options);
            socket->write(ok ? kTaken : QByteArray("refused\n"));
            socket->flush();
            socket->disconnectFromServer();
            if (ok && m_handler)
                m_handler(options);
        });
    }
}
