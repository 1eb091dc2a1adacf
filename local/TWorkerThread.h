#pragma once
#include <QPointer>
#include <QThread>

#include <atomic>
#include <functional>
#include <string>

// The one pattern every background job follows: a thread object created suspended with
// copies of its inputs, given handlers on the window thread, started with Resume, stopped
// cooperatively through its terminate flag, handing results to the window thread through
// Synchronize, and freeing itself when it is done.
//
// The window thread never waits for a worker. Synchronize blocks the worker until the
// window thread has run the procedure; if the application is shutting down, the pending
// call is withdrawn instead, so no worker can hang the exit.
//
// A worker is never killed. ForceStop abandons it: handlers cleared, flag set, and it
// frees itself when its current blocking call returns.
class TWorkerThread : public QThread {
    Q_OBJECT
public:
    /// Handlers always run on the window thread with the worker as sender.
    using Handler = std::function<void(TWorkerThread* sender)>;

    /// Sets free-on-terminate; the thread does not run until Resume.
    explicit TWorkerThread(QObject* parent = nullptr);
    ~TWorkerThread() override;

    /// Starts the thread function at normal priority. A second call does nothing.
    void Resume();
    /// Sets the terminate flag and nothing else.
    void Terminate();
    /// The terminate flag; QThread's interruption request counts as well, so code that
    /// holds a worker as a plain QThread can stop it too.
    bool Terminated() const { return m_terminated.load(std::memory_order_acquire) || isInterruptionRequested(); }
    /// The terminate flag itself, for blocking network waits that look at it between slices.
    const std::atomic<bool>* TerminateFlag() const { return &m_terminated; }

    /// Abandons the worker: clears every handler, sets the flag and lets the worker free
    /// itself whenever its blocking call returns. Window thread only.
    void ForceStop();

    /// Handlers are not called once `receiver` has been destroyed, so a window that
    /// closes without stopping a worker is never called back.
    void SetReceiver(QObject* receiver);

    /// The completion handler: called on the window thread after the thread function
    /// has returned, if it is still set then. Cleared by the call.
    Handler OnTerminate;
    /// When true (the default) the object deletes itself after the completion call.
    bool FreeOnTerminate = true;

    /// Withdraws every pending Synchronize call and makes later ones return at once
    /// (application exit). Window thread only.
    static void ShutdownAll();
    /// Calls of any worker handed to the window thread and still waiting there, neither run
    /// nor withdrawn. Any thread; a window thread that is about to stop running events can
    /// see that workers wait on it.
    static int WaitingCalls();

protected:
    /// The work; runs on the worker thread.
    virtual void Execute() = 0;
    /// Called on the worker thread when Execute let an exception out, with its text; the
    /// completion handler runs afterwards as after any other end. A worker with error
    /// members of its own keeps the text there; by default it goes to standard error.
    virtual void ExecuteFailed(const std::string& message);
    /// Clears the subclass's own handlers (ForceStop). Window thread only.
    virtual void ClearHandlers() {}

    /// Runs `procedure` on the window thread and returns when it has finished. Runs it
    /// directly when called on the window thread. False when the call was withdrawn.
    bool Synchronize(const std::function<void()>& procedure);
    /// As Synchronize, but the procedure is skipped when, at the moment it would run, the
    /// terminate flag is set or the receiver is gone: a stopped worker puts nothing on
    /// the screen. Begin and end of a bulk update use plain Synchronize so they stay paired.
    bool SynchronizeUnlessStopped(const std::function<void()>& procedure);

    /// Calls OnTerminate now (through SynchronizeUnlessStopped) and clears it, for
    /// workers that deliver their completion themselves.
    void CallCompletion();
    /// As CallCompletion, but also when the terminate flag is set.
    void CallCompletionAlways();

    /// True when the receiver is still alive (or none was given). Window thread only.
    bool ReceiverAlive() const;

private:
    void run() final;

    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_completionDelivered{false};
    bool m_started = false;
    bool m_hasReceiver = false;
    QPointer<QObject> m_receiver;
};
