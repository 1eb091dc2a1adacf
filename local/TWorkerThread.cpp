#include "local/TWorkerThread.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "platform/ThreadGuard.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

// How often a worker waiting in Synchronize looks whether the application is going away.
constexpr auto kShutdownPollInterval = std::chrono::milliseconds(50);

std::atomic<bool> s_shutdown{false};
std::atomic<int> s_waitingCalls{0};

// One blocking call from a worker to the window thread. Whoever moves it out of Pending
// first decides: the window thread runs it, or the worker withdraws it at shutdown.
struct SyncCall {
    enum State { Pending, Running, Done, Withdrawn };
    std::function<void()> procedure;
    std::atomic<int> state{Pending};
    std::mutex mutex;
    std::condition_variable finished;
};

bool onWindowThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

TWorkerThread::TWorkerThread(QObject* parent) : QThread(parent)
{
    if (QCoreApplication* app = QCoreApplication::instance()) {
        static bool connected = false;
        if (!connected) {
            connected = true;
            QObject::connect(app, &QCoreApplication::aboutToQuit, &TWorkerThread::ShutdownAll);
        }
    }
}

TWorkerThread::~TWorkerThread()
{
    // Only a worker that does not free itself can be destroyed while it runs; its owner
    // chose to wait for it.
    if (isRunning()) {
        Terminate();
        wait();
    }
}

void TWorkerThread::Resume()
{
    if (m_started)
        return;
    m_started = true;
    if (FreeOnTerminate)
        connect(this, &QThread::finished, this, &QObject::deleteLater);
    start(QThread::NormalPriority);
}

void TWorkerThread::Terminate()
{
    m_terminated.store(true, std::memory_order_release);
}

void TWorkerThread::ForceStop()
{
    OnTerminate = nullptr;
    ClearHandlers();
    Terminate();
}

void TWorkerThread::SetReceiver(QObject* receiver)
{
    m_hasReceiver = receiver != nullptr;
    m_receiver = receiver;
}

bool TWorkerThread::ReceiverAlive() const
{
    return !m_hasReceiver || !m_receiver.isNull();
}

void TWorkerThread::ShutdownAll()
{
    s_shutdown.store(true);
}

int TWorkerThread::WaitingCalls()
{
    return s_waitingCalls.load();
}

bool TWorkerThread::Synchronize(const std::function<void()>& procedure)
{
    if (onWindowThread()) {
        procedure();
        return true;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || s_shutdown.load())
        return false;

    auto call = std::make_shared<SyncCall>();
    call->procedure = procedure;
    s_waitingCalls.fetch_add(1);
    QMetaObject::invokeMethod(app, [call] {
        int expected = SyncCall::Pending;
        if (!call->state.compare_exchange_strong(expected, SyncCall::Running))
            return;
        s_waitingCalls.fetch_sub(1);
        // The worker is released even when the procedure throws, or it would wait forever.
        struct Release {
            SyncCall& call;
            ~Release()
            {
                {
                    std::lock_guard<std::mutex> lock(call.mutex);
                    call.state.store(SyncCall::Done);
                }
                call.finished.notify_all();
            }
        } release{*call};
        call->procedure();
    }, Qt::QueuedConnection);

    std::unique_lock<std::mutex> lock(call->mutex);
    for (;;) {
        if (call->finished.wait_for(lock, kShutdownPollInterval,
                                    [&] { return call->state.load() == SyncCall::Done; }))
            return true;
        if (s_shutdown.load()) {
            int expected = SyncCall::Pending;
            if (call->state.compare_exchange_strong(expected, SyncCall::Withdrawn)) {
                s_waitingCalls.fetch_sub(1);
                return false;
            }
        }
    }
}

bool TWorkerThread::SynchronizeUnlessStopped(const std::function<void()>& procedure)
{
    return Synchronize([this, &procedure] {
        if (!Terminated() && ReceiverAlive())
            procedure();
    });
}

void TWorkerThread::CallCompletion()
{
    m_completionDelivered.store(true);
    Synchronize([this] {
        Handler handler = std::move(OnTerminate);
        OnTerminate = nullptr;
        if (handler && !Terminated() && ReceiverAlive())
            handler(this);
    });
}

void TWorkerThread::CallCompletionAlways()
{
    m_completionDelivered.store(true);
    Synchronize([this] {
        Handler handler = std::move(OnTerminate);
        OnTerminate = nullptr;
        if (handler && ReceiverAlive())
            handler(this);
    });
}

void TWorkerThread::ExecuteFailed(const std::string& message)
{
    std::fprintf(stderr, "tamsel: a background job failed: %s\n", message.c_str());
}

void TWorkerThread::run()
{
    RunGuarded([this] { Execute(); }, [this](const std::string& message) { ExecuteFailed(message); });
    // The thread class's own completion call, for workers that left the handler set.
    if (m_completionDelivered.load())
        return;
    Synchronize([this] {
        Handler handler = std::move(OnTerminate);
        OnTerminate = nullptr;
        if (handler && ReceiverAlive())
            handler(this);
    });
}
