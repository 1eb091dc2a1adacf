// The conversation with a site on its own thread: jobs in the order posted, answers only to
// a receiver still there, an exception handed back as text, and a stop that ends the
// command in flight and the rest of its job at once.
#include "network/FtpConversation.h"

#include "local/TempTree.h"
#include "network/FtpServers.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <filesystem>
#include <future>
#include <stdexcept>

namespace {

// Runs the event loop until `done` holds; a deadline far beyond any honest run ends a
// broken one instead of hanging it.
template <class Done>
bool waitFor(Done done)
{
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    tick.start(5);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

TEST(FtpConversation, JobsRunInOrderAndAnswerOnlyAReceiverStillThere)
{
    FtpConversation conversation;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::vector<int> ran;  // the conversation's thread only, read after its last answer
    std::vector<int> answered;
    std::string failure;
    QObject here;
    auto gone = std::make_unique<QObject>();
    // The first job holds the thread until the rest are posted and the second's receiver deleted.
    conversation.post([&, released](FtpSession&) {
        released.wait();
        ran.push_back(1);
    }, [](const std::string&) {}, &here, [&] { answered.push_back(1); });
    conversation.post([&](FtpSession&) { ran.push_back(2); }, [](const std::string&) {}, gone.get(),
                      [&] { answered.push_back(2); });
    conversation.post([&](FtpSession&) {
        ran.push_back(3);
        throw std::runtime_error("the job broke");
    }, [&](const std::string& message) { failure = message; }, &here, [&] { answered.push_back(3); });
    gone.reset();
    release.set_value();
    ASSERT_TRUE(waitFor([&] { return answered.size() == 2; }));
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(answered, (std::vector<int>{1, 3})) << "an answer reached a deleted receiver";
    EXPECT_EQ(failure, "the job broke");
}

// A download the server never sends: the stop ends it as cancelled (the client's time-out
// would end it as timed out), the job's next command does not start, and after resume()
// the conversation works again.
TEST(FtpConversation, AStopEndsTheCommandInFlightAndTheJobGoesNoFurther)
{
    TempTree tree;
    ASSERT_TRUE(tree.valid());
    FtpTestServer hostile;
    ASSERT_TRUE(hostile.startHostile(tree.root()));
    FtpConversation conversation;
    FtpSettings settings;
    settings.host = "127.0.0.1";
    settings.port = hostile.port();
    settings.user = "user";
    settings.password = "secret";
    settings.timeoutMs = 20000;
    bool connected = false, done = false;
    conversation.post([&](FtpSession& session) { connected = session.site.connect(settings, FtpEncoding::Utf8).ok; },
                      [](const std::string&) {}, nullptr, {});
    QObject here;
    std::promise<void> starting;
    std::future<void> started = starting.get_future();
    FtpResult stalled, next;
    const std::string stallFile = tree.path("stall.bin"), goodFile = tree.path("good.txt");
    conversation.post([&](FtpSession& session) {
        starting.set_value();
        stalled = session.site.download("/stall.bin", stallFile, -1, false, {});
        if (!session.stopped())
            next = session.site.download("/good.txt", goodFile, -1, false, {});
    }, [](const std::string&) {}, &here, [&] { done = true; });
    started.wait();
    conversation.cancel();
    ASSERT_TRUE(waitFor([&] { return done; }));
    EXPECT_TRUE(connected);
    EXPECT_TRUE(stalled.cancelled);
    EXPECT_FALSE(stalled.timedOut) << "the stop did not reach the command; the time-out ended it";
    EXPECT_FALSE(next.ok);
    EXPECT_FALSE(std::filesystem::exists(stallFile));
    EXPECT_FALSE(std::filesystem::exists(goodFile)) << "a command after the stop";

    conversation.resume();
    done = false;
    conversation.post([&](FtpSession& session) {
        if (!session.site.client().connected())
            session.site.connect(settings, FtpEncoding::Utf8);
        next = session.site.download("/good.txt", goodFile, -1, false, {});
    }, [](const std::string&) {}, &here, [&] { done = true; });
    ASSERT_TRUE(waitFor([&] { return done; }));
    EXPECT_TRUE(next.ok) << next.error;
    EXPECT_TRUE(std::filesystem::exists(goodFile));
}

} // namespace
