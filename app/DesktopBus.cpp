#include "app/DesktopBus.h"

#include "platform/AddressText.h"
#include "resources/StringTable.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QTimer>

// The desktop's file-manager interface. Its methods carry URIs ("file:///home/a/b.txt");
// what they name is shown through the program's own paths.
class FileManagerInterface : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    explicit FileManagerInterface(DesktopBus* owner)
        : QObject(owner), m_owner(owner)
    {
    }

public slots:
    Q_SCRIPTABLE void ShowFolders(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        m_owner->showUris(uris, false, false);
    }
    Q_SCRIPTABLE void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        m_owner->showUris(uris, true, false);
    }
    Q_SCRIPTABLE void ShowItemProperties(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        m_owner->showUris(uris, true, true);
    }

private:
    DesktopBus* m_owner;
};

DesktopBus::DesktopBus(const QDBusConnection& bus, const std::string& serviceName, QObject* parent)
    : QObject(parent), m_bus(bus), m_serviceName(QString::fromStdString(serviceName))
{
}

DesktopBus::~DesktopBus()
{
    if (!m_registered)
        return;
    m_bus.unregisterObject(QString::fromLatin1(ObjectPath));
    if (m_fileManager)
        m_bus.unregisterObject(QString::fromLatin1(FileManagerPath));
    if (m_hasFileManagerName)
        m_bus.unregisterService(QString::fromLatin1(FileManagerName));
    m_bus.unregisterService(m_serviceName);
}

bool DesktopBus::Register()
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    // The objects first: a call that comes as soon as the name is taken finds them.
    if (!m_bus.registerObject(QString::fromLatin1(ObjectPath), this, QDBusConnection::ExportScriptableSlots))
        return false;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> own = m_bus.interface()->registerService(
        m_serviceName, QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!own.isValid() || own.value() != QDBusConnectionInterface::ServiceRegistered) {
        m_bus.unregisterObject(QString::fromLatin1(ObjectPath));
        return false;
    }
    m_registered = true;
    // A Tamsel of its own settings (a test's, a demo's) does not serve the desktop.
    if (m_serviceName != QLatin1String(ServiceName))
        return true;
    auto* fileManager = new FileManagerInterface(this);
    if (m_bus.registerObject(QString::fromLatin1(FileManagerPath), fileManager, QDBusConnection::ExportScriptableSlots)) {
        m_fileManager = fileManager;
        // Another file manager that holds the name keeps it: the desktop chose it.
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> manager = m_bus.interface()->registerService(
            QString::fromLatin1(FileManagerName), QDBusConnectionInterface::DontQueueService,
            QDBusConnectionInterface::DontAllowReplacement);
        m_hasFileManagerName = manager.isValid() && manager.value() == QDBusConnectionInterface::ServiceRegistered;
    }
    return true;
}

bool DesktopBus::HandOver(const QDBusConnection& bus, const std::string& serviceName,
                          const std::vector<std::string>& arguments)
{
    if (!bus.isConnected())
        return false;
    QStringList words;
    for (const std::string& word : arguments)
        words << QString::fromStdString(word);
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromStdString(serviceName), QString::fromLatin1(ObjectPath),
                                                       QString::fromLatin1(ServiceName), QStringLiteral("Open"));
    call << words;
    // No activation: a Tamsel that is not running is started by this start itself.
    call.setAutoStartService(false);
    const QDBusMessage reply = const_cast<QDBusConnection&>(bus).call(call, QDBus::Block, 10000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

void DesktopBus::Open(const QStringList& arguments)
{
    std::vector<std::string> words;
    for (const QString& word : arguments)
        words.push_back(word.toStdString());
    // The words were made absolute by the start that sent them.
    const StartOptions options = ParseStartOptions(words);
    QTimer::singleShot(0, this, [this, options] {
        if (OnOpen)
            OnOpen(options);
    });
}

void DesktopBus::showUris(const QStringList& uris, bool item, bool properties)
{
    std::vector<std::string> paths;
    for (const QString& uri : uris) {
        const Address address = ParseAddress(uri.toStdString());
        if (address.kind == AddressKind::Drive || address.kind == AddressKind::Unc)
            paths.push_back(address.path);
    }
    if (paths.empty())
        return;
    QTimer::singleShot(0, this, [this, paths, item, properties] {
        // One window: the last place asked for is the one it shows.
        if (!item) {
            if (OnOpen) {
                StartOptions options;
                options.SelectPath = paths.back();
                OnOpen(options);
            }
        } else if (OnShowItem) {
            OnShowItem(paths.back(), properties);
        }
    });
}

#include "DesktopBus.moc"
