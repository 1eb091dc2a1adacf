#pragma once
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

// The task window of a cache update: runs the cache updater ("vessring -N --json") as a
// program of its own, lists itself in the task list while it runs, shows which computer
// it is at, and writes refused shares, partial and failed computers into the task list's
// log. The stop message (or its button) asks the updater to stop: computers not finished
// keep their previous cache. Closing the window only hides it; it frees itself when the
// updater has ended. A share that refused the crawl is named to the user with the password
// dialog when the updater has ended; what is typed there crawls that share once more.
class TCrawlForm : public QWidget {
    Q_OBJECT
public:
    /// `program` is the updater's full path; `arguments` its parameters ("-N").
    TCrawlForm(const QString& program, const QStringList& arguments, QWidget* parent = nullptr);
    ~TCrawlForm() override;
    /// Starts the updater and registers the task; false (and the window freed) when the
    /// program cannot be started.
    bool Start();
    /// The window of the update that runs now, if any: one at a time.
    static TCrawlForm* Running();

    /// Asks for the user name and password of a refused share ("\\SERVER\SHARE"): true with
    /// them when the user confirmed. Set by the window to the password dialog; tests replace it.
    std::function<bool(const QString& share, const QString& why, QString& user, QString& password, bool& remember)>
        AskCredentials;

signals:
    /// The updater has ended; `ok` when every computer was crawled completely.
    void Finished(bool ok);
    /// A computer's new listing is in the cache (complete or partial).
    void ComputerCrawled(const QString& caption);

protected:
    bool event(QEvent* event) override;

private:
    void ForceStop();
    void ProcessOutput();
    void ProcessFinished(int exitCode, QProcess::ExitStatus status);
    void takeLine(const QByteArray& line);
    void log(const QString& text);
    bool askForNextRefusal();
    bool startProcess(const QStringList& arguments, const QByteArray& input);

    struct Refusal {
        QString share;    // \\SERVER\SHARE
        QString message;
    };

    QProcess* m_process;
    QLabel* m_state;
    QProgressBar* m_bar;
    QPushButton* m_stop;
    QString m_program;
    QStringList m_arguments;
    QByteArray m_buffer;
    int m_taskId = 0;
    QList<Refusal> m_refused;
    QSet<QString> m_done;  // computers the updater has finished with
    bool m_stopping = false;
};
