#pragma once
#include "platform/FtpClient.h"

#include <QColor>
#include <QString>

#include <mutex>
#include <vector>

// The lines of a site window's log, in the order they were written, whichever thread wrote
// them: the conversation writes what it did while it does it, and the window takes what is
// waiting in one piece (on a short timer while a command runs and when it has ended), so a
// download of a thousand files costs the window a few insertions instead of a thousand.
class FtpLog {
public:
    struct Line {
        QString text;
        QColor color;
    };
    /// The colours of the lines.
    static inline const QColor Blue{0, 0, 255}, Green{0, 128, 0}, Red{255, 0, 0}, Teal{0, 128, 128},
        Black{0, 0, 0};

    /// Adds a line; any thread.
    void add(QString text, const QColor& color);
    /// The lines of a command's outcome: the green line of a success, the red ones of a
    /// failure (with the server's reply) or of a command the server does not know; nothing
    /// for a cancelled command.
    void addResult(FtpCommand command, const FtpResult& result);
    /// Adds the red line of a file a transfer could not move and returns it.
    QString addFailedFile(const QString& path, const FtpResult& result);
    /// Everything written since the last take, oldest first.
    std::vector<Line> take();

private:
    std::mutex m_mutex;
    std::vector<Line> m_lines;
};
