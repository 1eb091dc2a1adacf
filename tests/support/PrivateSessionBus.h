#pragma once
#include "support/TempFolder.h"

#include <QDBusConnection>
#include <QProcess>
#include <QString>

#include <fstream>

// A dbus-daemon of the test's own, never the desktop's session bus: a configuration without
// service folders, so nothing installed on the machine is started by a call; stopped by its
// process id at the end.
class PrivateSessionBus {
public:
    PrivateSessionBus()
    {
        std::ofstream(m_folder.path("bus.conf"))
            << "<busconfig><type>session</type><listen>unix:dir=" << m_folder.path() << "</listen>"
            << "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
            << "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + QString::fromStdString(m_folder.path("bus.conf")),
                        QStringLiteral("--nofork"), QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
        if (!m_daemon.waitForStarted(10000))
            return;
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateSessionBus()
    {
        for (const QString& name : m_names)
            QDBusConnection::disconnectFromBus(name);
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished(10000);
        }
    }
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool ok() const { return !m_address.isEmpty(); }
    /// What DBUS_SESSION_BUS_ADDRESS says to a program that should use this bus.
    QString address() const { return m_address; }
    /// A connection of its own (each one is another client of the bus).
    QDBusConnection connect(const QString& name)
    {
        m_names << name;
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    TempFolder m_folder;
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};
