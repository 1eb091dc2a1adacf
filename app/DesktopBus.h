#pragma once
#include "app/StartOptions.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

// The running Tamsel on the session bus. Under its own name it takes the places that a
// second start hands over, so that one program with one main window serves every link;
// under the desktop's file-manager name it opens folders and shows items for other
// programs (a browser's "show in folder"). Every request is carried out after the call has
// been answered: a box it shows must not keep the caller waiting.
class DesktopBus : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tamsel.Tamsel")
public:
    static constexpr const char* ServiceName = "org.tamsel.Tamsel";
    static constexpr const char* ObjectPath = "/org/tamsel/Tamsel";
    static constexpr const char* FileManagerName = "org.freedesktop.FileManager1";
    static constexpr const char* FileManagerPath = "/org/freedesktop/FileManager1";

    /// `serviceName`: the program's name on the bus (ServiceName, or a Tamsel's own).
    DesktopBus(const QDBusConnection& bus, const std::string& serviceName, QObject* parent = nullptr);
    ~DesktopBus() override;

    /// Takes the program's name on the bus, and the file-manager name when no other file
    /// manager holds it. False when another Tamsel holds the name (or no bus runs): then
    /// nothing is served.
    bool Register();

    /// What is done with a request, on the window thread.
    std::function<void(const StartOptions& options)> OnOpen;
    /// Shows an item (a file or folder, in the program's path form) selected in its folder;
    /// with `properties` its properties too.
    std::function<void(const std::string& path, bool properties)> OnShowItem;

    /// Hands a start's places to the Tamsel running on `bus`; false when none answered.
    static bool HandOver(const QDBusConnection& bus, const std::string& serviceName,
                         const std::vector<std::string>& arguments);

public slots:
    /// A second start's arguments (StartArguments' form).
    Q_SCRIPTABLE void Open(const QStringList& arguments);

private:
    friend class FileManagerInterface;
    void showUris(const QStringList& uris, bool item, bool properties);

    QDBusConnection m_bus;
    QString m_serviceName;
    QObject* m_fileManager = nullptr;
    bool m_registered = false;
    bool m_hasFileManagerName = false;
};
