#pragma once
#include "app/StartOptions.h"

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

// One Tamsel per user and program folder: a start that asks for a place (a search result
// opened in the family's search program) goes to the Tamsel that already runs, which shows
// it, instead of a second program with a tree of its own. The request travels over a local
// socket that only this user can open, in the user's runtime folder.
class StartRequests : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const StartOptions&)>;

    explicit StartRequests(Handler handler, QObject* parent = nullptr);
    ~StartRequests() override;

    /// The socket's path for this user, program folder and settings file.
    static QString socketPath();
    /// Gives `options` to the Tamsel that listens, waiting up to `waitMs` for each step;
    /// true when it took them. False when none runs (or it did not answer).
    static bool handOver(const StartOptions& options, int waitMs = 3000);
    /// Starts listening; false (and the reason in errorText) when the socket cannot be made.
    bool listen();
    QString errorText() const { return m_error; }

    /// The request's one line and back: the four options as JSON.
    static QByteArray encode(const StartOptions& options);
    static bool decode(const QByteArray& line, StartOptions& options);

private:
    void takeConnection();

    Handler m_handler;
    QLocalServer* m_server;
    QString m_error;
};
