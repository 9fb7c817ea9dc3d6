#include "platform/Win32.h"

#include "net/PushCore.h"
#include "tests/support/SandboxHttp.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Messages delivered to handlers, by handler name.
class Deliveries {
public:
    ParamReqInfo::PushFn Handler(const std::string& name)
    {
        return [this, name](const std::shared_ptr<ParamReqInfo>&, const std::shared_ptr<Json::Value>& root) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_seen[name].push_back(root ? *root : Json::Value());
            m_changed.notify_all();
        };
    }
    size_t Count(const std::string& name)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen[name].size();
    }
    bool WaitFor(const std::string& name, size_t count, std::chrono::milliseconds limit = 15s)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_seen[name].size() >= count; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, std::vector<Json::Value>> m_seen;
};

std::shared_ptr<ParamReqInfo> Subscriber(const std::string& topic, int32_t mode, ParamReqInfo::PushFn fn,
                                         int32_t receiverId = 0, int64_t context = 0, bool withOrigin = true)
{
    auto request = std::make_shared<ParamReqInfo>();
    request->mode = mode;
    request->body = topic;
    request->onPush = std::move(fn);
    if (withOrigin) {
        request->origin = std::make_shared<DataCoreRequest>();
        request->origin->receiverId = receiverId;
        request->origin->context = context;
    }
    return request;
}

// One PushCore against the sandbox, for a user name of the test's own so that
// the sandbox's records of other connections do not count.
class PushCoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (SandboxUrl("/push/address").empty())
            GTEST_SKIP() << "run through CTest, which starts the sandbox";
        ASSERT_TRUE(WebSocketClient::InitializeClient());
        // Only what a test injects arrives.
        SandboxGet("/push/control?action=interval&seconds=0");
        SandboxGet("/push/control?action=mute&on=0");
        SandboxGet("/push/control?action=refuse&seconds=0");
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_user = std::string("push-") + info->name();
        m_token = "token-" + m_user;
    }
    void TearDown() override
    {
        m_core.reset();
        SandboxGet("/push/control?action=interval&seconds=5");
        SandboxGet("/push/control?action=mute&on=0");
        SandboxGet("/push/control?action=refuse&seconds=0");
    }

    WeHttpStore Store()
    {
        WeHttpStore store;
        const std::string address = SandboxUrl("/push/address");
        store.lookup = [address](const std::string& section, const std::string& key) -> std::string {
            return section == "pushcore" && key == "requrl" ? address : std::string();
        };
        store.values = [this] {
            WeHttpStoreValues v;
            v.userName = m_user;
            v.token = m_token;
            v.sign = "sandbox-sign";
            v.signv1 = "sandbox-signv1";
            return v;
        };
        store.baseDirectory = m_dir.Path();
        return store;
    }

    PushCore& Core()
    {
        if (!m_core) {
            m_http = std::make_unique<WeHttpService>(Store());
            m_core = std::make_unique<PushCore>(
                Store(), [this](std::shared_ptr<ParamReqInfo> r) { return m_http->post(std::move(r)); },
                [this] { ++m_opened; });
        }
        return *m_core;
    }

    // This user's connections as the sandbox saw them, oldest first.
    std::vector<Json::Value> Connections()
    {
        const Json::Value state = SandboxGetJson("/push/state");
        const Json::Value connections = state["connections"];
        std::vector<Json::Value> mine;
        for (const Json::Value& c : connections)
            if (c["username"].asString() == m_user)
                mine.push_back(c);
        return mine;
    }
    Json::Value OpenConnection()
    {
        for (const Json::Value& c : Connections())
            if (c["open"].asBool())
                return c;
        return Json::Value();
    }
    static bool HasTopic(const Json::Value& connection, const std::string& topic)
    {
        for (const Json::Value& t : connection["topics"])
            if (t.asString() == topic)
                return true;
        return false;
    }
    static std::vector<Json::Value> FramesOfType(const Json::Value& connection, int type)
    {
        std::vector<Json::Value> found;
        for (const Json::Value& text : connection["frames"]) {
            Json::Value frame;
            if (Json::Reader().parse(text.asString(), frame) && frame["type"].asInt() == type)
                found.push_back(frame);
        }
        return found;
    }
    size_t AddressRequests()
    {
        const Json::Value state = SandboxGetJson("/push/state");
        const Json::Value addresses = state["addresses"];
        size_t n = 0;
        for (const Json::Value& a : addresses)
            n += a["body"].asString().find("\"" + m_user + "\"") != std::string::npos;
        return n;
    }
    bool WaitSubscribed(const std::string& topic)
    {
        return WaitUntil([&] { return HasTopic(OpenConnection(), topic); });
    }
    int Inject(const std::string& topic, const std::string& message = "{\"n\":1}")
    {
        Json::Value order;
        order["topic"] = topic;
        order["message"] = message;
        order["username"] = m_user;
        Json::Value answer;
        Json::Reader().parse(SandboxPost("/push/inject", Json::FastWriter().write(order)), answer);
        return answer["sent"].asInt();
    }

    TempDir m_dir;
    std::string m_user, m_token;
    std::unique_ptr<WeHttpService> m_http;
    std::unique_ptr<PushCore> m_core;
    std::atomic<int> m_opened{0};
};

} // namespace

TEST(PushCoreFrames, TextsAsTheServiceKnowsThem)
{
    EXPECT_EQ(PushCore::HeartbeatFrame(), "{\"type\":2}");
    EXPECT_EQ(PushCore::OpeningFrame(42, "alice", 1),
              "{\"userId\": 42, \"username\":\"alice\", \"appCode\": \"com.tmkw.corvid\", \"type\": 1}");
    EXPECT_EQ(PushCore::OpeningFrame(-1, "alice", 3),
              "{\"userId\": -1, \"username\": \"alice\", \"appCode\": \"com.tmkw.corvid\", \"type\": 3}");
    EXPECT_EQ(PushCore::TopicFrame(9000000000LL, "alice", "t1", 6),
              "{\"userId\": 9000000000, \"username\": \"alice\", \"topic\": \"t1\", \"appCode\": "
              "\"com.tmkw.corvid\", \"type\": 6}");
    EXPECT_EQ(PushCore::AddressBody("alice"), "{\"username\":\"alice\",\"appCode\":\"com.tmkw.corvid\",\"channel\":\"pc\"}");
}

TEST(PushCoreFrames, NamesThatCouldRewriteAFrameStayInsideTheirString)
{
    const std::vector<std::string> names = {
        "a\", \"type\": 6, \"x\": \"", "back\\slash", "line\nbreak\t", std::string("nul\x01", 4), "用户名",
    };
    for (const std::string& name : names) {
        const std::vector<std::pair<std::string, size_t>> texts = {
            {PushCore::OpeningFrame(1, name, 1), 4u},
            {PushCore::TopicFrame(1, name, name, 5), 5u},
            {PushCore::AddressBody(name), 3u},
        };
        for (const auto& [text, members] : texts) {
            Json::Value frame;
            ASSERT_TRUE(Json::Reader().parse(text, frame)) << text;
            EXPECT_EQ(frame["username"].asString(), name) << text;
            EXPECT_EQ(frame.size(), members) << "no member added: " << text;
            EXPECT_EQ(frame["appCode"].asString(), PushCore::kAppCode);
        }
        Json::Value topicFrame;
        ASSERT_TRUE(Json::Reader().parse(PushCore::TopicFrame(1, name, name, 5), topicFrame));
        EXPECT_EQ(topicFrame["topic"].asString(), name);
        EXPECT_EQ(topicFrame["type"].asInt(), 5);
    }
}

TEST_F(PushCoreTest, OpensWithUserFramesThenSubscribesEveryTopic)
{
    Deliveries got;
    Core().subscribe(Subscriber("before-start", 1, got.Handler("a"), 1, 1));
    Core().start(); // start forgets what came before
    Core().subscribe(Subscriber("t-open", 1, got.Handler("b"), 1, 1));
    ASSERT_TRUE(WaitSubscribed("t-open"));
    ASSERT_TRUE(WaitUntil([&] { return m_opened == 1; }));

    const Json::Value c = OpenConnection();
    const Json::Value frames = c["frames"];
    ASSERT_GE(frames.size(), 3u);
    Json::Value first, second;
    Json::Reader().parse(frames[0].asString(), first);
    Json::Reader().parse(frames[1].asString(), second);
    EXPECT_EQ(first["type"].asInt(), 1);
    EXPECT_EQ(second["type"].asInt(), 3);
    EXPECT_EQ(first["username"].asString(), m_user);
    EXPECT_GT(first["userId"].asInt64(), 0) << "the id comes from the address answer";
    EXPECT_TRUE(HasTopic(c, PushCore::kTokenExpiryTopic));
    EXPECT_FALSE(HasTopic(c, "before-start"));

    // A reconnect sends the whole map again; the open notice comes once.
    SandboxGet("/push/control?action=drop&username=" + m_user);
    ASSERT_TRUE(WaitUntil([&] { return Connections().size() == 2 && HasTopic(OpenConnection(), "t-open"); }));
    EXPECT_TRUE(HasTopic(OpenConnection(), PushCore::kTokenExpiryTopic));
    EXPECT_EQ(m_opened, 1);
}

TEST_F(PushCoreTest, TopicFramesFollowTheFirstAndLastSubscriber)
{
    Deliveries got;
    Core().start();
    ASSERT_TRUE(WaitSubscribed(PushCore::kTokenExpiryTopic));
    Core().subscribe(Subscriber("shared", 1, got.Handler("one"), 1, 10));
    Core().subscribe(Subscriber("shared", 1, got.Handler("two"), 2, 10));
    ASSERT_TRUE(WaitSubscribed("shared"));
    ASSERT_EQ(Inject("shared"), 1);
    ASSERT_TRUE(got.WaitFor("one", 1));
    ASSERT_TRUE(got.WaitFor("two", 1));

    Core().subscribe(Subscriber("shared", 3, nullptr, 1, 10));
    ASSERT_EQ(Inject("shared"), 1);
    ASSERT_TRUE(got.WaitFor("two", 2));
    EXPECT_EQ(got.Count("one"), 1u) << "the removed subscriber gets nothing more";
    EXPECT_TRUE(FramesOfType(OpenConnection(), 6).empty()) << "one subscriber is left";

    Core().subscribe(Subscriber("shared", 3, nullptr, 2, 10));
    ASSERT_TRUE(WaitUntil([&] { return !FramesOfType(OpenConnection(), 6).empty(); }));
    const auto removed = FramesOfType(OpenConnection(), 6);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0]["topic"].asString(), "shared");
    EXPECT_EQ(FramesOfType(OpenConnection(), 5).size(), 2u) << "token expiry and the shared topic, once";
}

TEST_F(PushCoreTest, SameOriginReplacesWithoutOriginAppendsUnknownTopicDropped)
{
    Deliveries got;
    Core().start();
    Core().subscribe(Subscriber("origin", 1, got.Handler("old"), 5, 0x100000001LL));
    Core().subscribe(Subscriber("origin", 1, got.Handler("new"), 5, 0x100000001LL));
    // Same receiver, other high word of the context: another subscriber.
    Core().subscribe(Subscriber("origin", 1, got.Handler("high"), 5, 0x200000001LL));
    Core().subscribe(Subscriber("plain", 1, got.Handler("p1"), 0, 0, false));
    Core().subscribe(Subscriber("plain", 1, got.Handler("p2"), 0, 0, false));
    ASSERT_TRUE(WaitSubscribed("origin"));
    ASSERT_TRUE(WaitSubscribed("plain"));

    // Nobody listens to "nobody": the channel drops it and goes on with the
    // next message, which arrives after it on the same connection.
    SandboxPost("/push/inject", "{\"text\":\"{\\\"topic\\\":\\\"nobody\\\",\\\"n\\\":0}\"}");
    SandboxPost("/push/inject", "{\"text\":\"not json at all\"}");
    ASSERT_EQ(Inject("origin"), 1);
    ASSERT_EQ(Inject("plain"), 1);
    ASSERT_TRUE(got.WaitFor("new", 1));
    ASSERT_TRUE(got.WaitFor("high", 1));
    ASSERT_TRUE(got.WaitFor("p1", 1));
    ASSERT_TRUE(got.WaitFor("p2", 1));
    EXPECT_EQ(got.Count("old"), 0u);
    EXPECT_EQ(FramesOfType(OpenConnection(), 5).size(), 3u);
}

TEST_F(PushCoreTest, HeartbeatsCountUntilAnsweredAndFiveMissedReconnect)
{
    Core().start();
    ASSERT_TRUE(WaitSubscribed(PushCore::kTokenExpiryTopic));
    Core().keepAlive();
    ASSERT_TRUE(WaitUntil([&] { return Core().MissedHeartbeats() == 0 && FramesOfType(OpenConnection(), 2).size() == 1; }))
        << "the answer counts as a sign of life";

    SandboxGet("/push/control?action=mute&on=1");
    for (int i = 1; i <= PushCore::kMaxMissedHeartbeats; ++i) {
        Core().keepAlive();
        EXPECT_EQ(Core().MissedHeartbeats(), i);
    }
    EXPECT_EQ(Connections().size(), 1u);
    Core().keepAlive(); // the sixth gives up on the connection
    EXPECT_EQ(Core().MissedHeartbeats(), 0);
    ASSERT_TRUE(WaitUntil([&] { return Connections().size() == 2 && HasTopic(OpenConnection(), "user:off:line:topic"); }))
        << "the loop reconnects after its wait";
    EXPECT_FALSE(Connections()[0]["open"].asBool());
}

TEST_F(PushCoreTest, HeartbeatsAreSkippedWhileTheConnectionIsNotOpen)
{
    Core().keepAlive(); // no client yet
    EXPECT_EQ(Core().MissedHeartbeats(), 0);
    Core().start();
    ASSERT_TRUE(WaitSubscribed(PushCore::kTokenExpiryTopic));
    SandboxGet("/push/control?action=refuse&seconds=60");
    const size_t before = AddressRequests();
    SandboxGet("/push/control?action=drop&username=" + m_user);
    // A new address request means the connection ended and the channel is
    // back in its loop, still holding the ended client.
    ASSERT_TRUE(WaitUntil([&] { return AddressRequests() > before; }));
    for (int i = 0; i < 3; ++i)
        Core().keepAlive();
    EXPECT_EQ(Core().MissedHeartbeats(), 0);
    EXPECT_TRUE(FramesOfType(Connections().back(), 2).empty());
}

TEST_F(PushCoreTest, StopEndsTheReconnectWaitAtOnce)
{
    SandboxGet("/push/control?action=refuse&seconds=60");
    Core().start();
    ASSERT_TRUE(WaitUntil([&] { return AddressRequests() == 1; }));
    std::this_thread::sleep_for(300ms); // inside the 5 s wait by now
    const auto began = std::chrono::steady_clock::now();
    Core().stop();
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_LT(took, 3s) << "stop waited for the reconnect wait to run out";
    std::this_thread::sleep_for(std::chrono::milliseconds(PushCore::kReconnectWaitMs) + 1s);
    EXPECT_EQ(AddressRequests(), 1u);
    EXPECT_TRUE(Connections().empty());
}

TEST_F(PushCoreTest, ExpiredTokenStopsTheChannelAnotherTokenDoesNot)
{
    Deliveries got;
    Core().start();
    Core().subscribe(Subscriber("alive", 1, got.Handler("alive"), 1, 1));
    ASSERT_TRUE(WaitSubscribed("alive"));
    ASSERT_TRUE(WaitSubscribed(PushCore::kTokenExpiryTopic));

    SandboxPost("/push/expire", "{\"tokens\":[\"someone-else\",7,null]}");
    ASSERT_EQ(Inject("alive"), 1);
    ASSERT_TRUE(got.WaitFor("alive", 1)) << "another token leaves the channel running";
    EXPECT_TRUE(OpenConnection().isObject());

    const size_t addresses = AddressRequests();
    SandboxPost("/push/expire", "{\"tokens\":[\"someone-else\",\"" + m_token + "\"]}");
    ASSERT_TRUE(WaitUntil([&] { return !OpenConnection().isObject(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(PushCore::kReconnectWaitMs) + 1s);
    EXPECT_EQ(AddressRequests(), addresses) << "the channel stays down until the next start";
    EXPECT_EQ(Connections().size(), 1u);

    Core().start();
    ASSERT_TRUE(WaitSubscribed(PushCore::kTokenExpiryTopic)) << "a new start connects again";
    EXPECT_FALSE(HasTopic(OpenConnection(), "alive")) << "start clears the subscriptions";
}

TEST_F(PushCoreTest, MalformedAddressAnswerKeepsRetrying)
{
    // Signed with a secret the service does not know: 401, no address.
    WeHttpStore store = Store();
    auto values = store.values;
    store.values = [values] {
        WeHttpStoreValues v = values();
        v.sign = "wrong";
        return v;
    };
    WeHttpService http(store);
    PushCore core(store, [&http](std::shared_ptr<ParamReqInfo> r) { return http.post(std::move(r)); }, nullptr);
    core.start();
    ASSERT_TRUE(WaitUntil([&] { return AddressRequests() >= 2; }, 15s)) << "retried after the wait";
    core.stop();
    EXPECT_TRUE(Connections().empty());
}
