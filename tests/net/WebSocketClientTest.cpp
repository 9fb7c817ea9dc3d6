#include "platform/Win32.h"

#include "net/WebSocketClient.h"
#include "platform/TextConv.h"

#include "tests/support/SandboxPorts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

// Against the sandbox's /ws/test endpoint (tools/sandbox/services/wstest.py),
// over real loopback sockets; ctest starts the sandbox around this program.

namespace {

using namespace std::chrono_literals;

constexpr auto kBound = 10s;   // generous: Wine and a busy machine
constexpr int kConnectTimeoutMs = 100000;

struct SandboxPorts {
    int port = 0;
    int tlsPort = 0;
    int proxyPort = 0;
};

SandboxPorts FixturePorts()
{
    auto named = ::ReadSandboxPorts();
    return {named["port"], named["tls_port"], named["proxy_port"]};
}

// Records every event; tests wait on it with generous bounds.
class Recorder : public IWebSocket {
public:
    void OnConnectStatus(void* context, WebSocketStatus status) override
    {
        Push([&] { statuses.push_back(status); contexts.push_back(context); });
    }
    void OnTextMessage(void*, const char* data, size_t length) override
    {
        std::string text(data, length);
        if (onText)
            onText(text);
        Push([&] { texts.push_back(std::move(text)); });
    }
    bool OnOtherMessage(void*, const char* data, size_t length) override
    {
        Push([&] { binaries.emplace_back(data, length); });
        return false;
    }
    void OnAlive(void*, const char* data, size_t length) override
    {
        Push([&] { alive.emplace_back(data, length); });
    }

    bool WaitFor(const std::function<bool()>& done)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, kBound, done);
    }
    bool WaitText(const std::string& text)
    {
        return WaitFor([&] { return std::find(texts.begin(), texts.end(), text) != texts.end(); });
    }
    template <class F> auto Locked(F f)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return f();
    }

    // Read under Locked or after WaitFor.
    std::vector<WebSocketStatus> statuses;
    std::vector<void*> contexts;
    std::vector<std::string> texts;
    std::vector<std::string> binaries;
    std::vector<std::string> alive;
    std::function<void(const std::string&)> onText;  // runs on the Run() thread

private:
    template <class F> void Push(F f)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            f();
        }
        m_changed.notify_all();
    }
    std::mutex m_lock;
    std::condition_variable m_changed;
};

// One connection with Run() on its own thread, as a channel drives it.
class Session {
public:
    Session(Recorder& recorder, void* context = nullptr)
        : client(std::make_shared<WebSocketClient>(&recorder, context))
    {
    }
    ~Session()
    {
        client->DisConnect();
        Join();
    }
    void Start()
    {
        m_runner = std::thread([this] {
            client->Run();
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_ended = true;
            }
            m_endedCv.notify_all();
        });
    }
    bool WaitEnded()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_endedCv.wait_for(lock, kBound, [&] { return m_ended; });
    }
    void Join()
    {
        if (m_runner.joinable())
            m_runner.join();
    }

    std::shared_ptr<WebSocketClient> client;

private:
    std::thread m_runner;
    std::mutex m_lock;
    std::condition_variable m_endedCv;
    bool m_ended = false;
};

class WebSocketClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(WebSocketClient::InitializeClient()); }

    void SetUp() override
    {
        ports = FixturePorts();
        ASSERT_NE(ports.port, 0) << "sandbox port file missing (VELTRAY_SANDBOX_PORT_FILE)";
    }
    std::string WsUrl(const char* path = "/ws/test") const
    {
        return "ws://127.0.0.1:" + std::to_string(ports.port) + path;
    }
    std::string WssUrl() const { return "wss://127.0.0.1:" + std::to_string(ports.tlsPort) + "/ws/test"; }

    // Connected and running.
    void Open(Session& session, const std::string& url)
    {
        ASSERT_TRUE(session.client->Connect(url, {}, kConnectTimeoutMs));
        ASSERT_EQ(session.client->GetConnectStatus(), WebSocketOpen);
        session.Start();
    }

    SandboxPorts ports;
    Recorder recorder;
};

TEST_F(WebSocketClientTest, OpensEchoesAndReportsOpenWithContext)
{
    int marker = 0;
    Session session(recorder, &marker);
    Open(session, WsUrl());
    ASSERT_TRUE(recorder.Locked([&] { return recorder.statuses.size() == 1; }));
    EXPECT_EQ(recorder.statuses[0], WebSocketOpen);
    EXPECT_EQ(recorder.contexts[0], &marker);

    const std::string chinese = WideToUtf8(L"上证指数 3,245.67");
    for (const std::string& text : {std::string("hello"), chinese}) {
        ASSERT_TRUE(session.client->SendText(text));
        EXPECT_TRUE(recorder.WaitText(text)) << text;
    }
}

TEST_F(WebSocketClientTest, WssWithSelfSignedCertificate)
{
    ASSERT_NE(ports.tlsPort, 0);
    Session session(recorder);
    Open(session, WssUrl());
    ASSERT_TRUE(session.client->SendText("over tls"));
    EXPECT_TRUE(recorder.WaitText("over tls"));
    ASSERT_TRUE(session.client->SendText("!fragment 4 joined over tls"));
    EXPECT_TRUE(recorder.WaitText("joined over tls"));
}

// What the server sends, and where it must arrive as one whole message.
TEST_F(WebSocketClientTest, ServerMessagesArriveWhole)
{
    struct Case {
        const char* command;
        bool text;
        std::string expected;
    };
    const Case cases[] = {
        {"!fragment 3 abcdefghi", true, "abcdefghi"},  // with a ping between fragments
        {"!fragment 2 x", true, "x"},                  // one real fragment and an empty one
        {"!binary raw bytes", false, "raw bytes"},
        {"!big 300000", true, std::string(300000, 'x')},  // more than one receive buffer
    };
    Session session(recorder);
    Open(session, WsUrl());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        ASSERT_TRUE(session.client->SendText(c.command));
        auto& list = c.text ? recorder.texts : recorder.binaries;
        ASSERT_TRUE(recorder.WaitFor([&] { return !list.empty(); }));
        recorder.Locked([&] {
            EXPECT_EQ(list.size(), 1u);
            EXPECT_TRUE(list.front() == c.expected) << "got " << list.front().size() << " bytes";
            recorder.texts.clear();
            recorder.binaries.clear();
            return 0;
        });
    }
    EXPECT_TRUE(recorder.Locked([&] { return recorder.alive == std::vector<std::string>{"between"}; }));
}

TEST_F(WebSocketClientTest, PingIsAnsweredAndReportedAlive)
{
    Session session(recorder);
    Open(session, WsUrl());
    ASSERT_TRUE(session.client->SendText("!ping hb-1"));
    ASSERT_TRUE(recorder.WaitFor([&] { return !recorder.alive.empty(); }));
    EXPECT_EQ(recorder.Locked([&] { return recorder.alive.front(); }), "hb-1");
    ASSERT_TRUE(session.client->SendText("!pongs"));
    EXPECT_TRUE(recorder.WaitText("pongs 1 hb-1"));
}

// The channels send again from inside their message handler.
TEST_F(WebSocketClientTest, HandlerMaySendFromItsCallback)
{
    Session session(recorder);
    recorder.onText = [&](const std::string& text) {
        if (text == "first") {
            EXPECT_TRUE(session.client->SendText("second"));
        }
    };
    Open(session, WsUrl());
    ASSERT_TRUE(session.client->SendText("first"));
    EXPECT_TRUE(recorder.WaitText("second"));
}

TEST_F(WebSocketClientTest, SendTextFromSeveralThreadsWhileRunning)
{
    constexpr int kThreads = 4;
    constexpr int kEach = 50;
    Session session(recorder);
    Open(session, WsUrl());

    std::vector<std::thread> senders;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                if (!session.client->SendText("t" + std::to_string(t) + "-" + std::to_string(i)
                                              + std::string(100 + i * 37, 'p')))
                    ++failures;
        });
    }
    for (auto& s : senders)
        s.join();
    EXPECT_EQ(failures, 0);
    ASSERT_TRUE(recorder.WaitFor([&] { return recorder.texts.size() == kThreads * kEach; }));

    // Every frame intact and each thread's frames in its own order.
    std::vector<int> next(kThreads, 0);
    for (const std::string& text : recorder.texts) {
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(text.c_str(), "t%d-%d", &t, &i), 2) << text.substr(0, 20);
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(i, next[t]++);
        const std::string expected = "t" + std::to_string(t) + "-" + std::to_string(i) + std::string(100 + i * 37, 'p');
        EXPECT_TRUE(text == expected);
    }
}

TEST_F(WebSocketClientTest, DisConnectFromAnotherThreadEndsRun)
{
    Session session(recorder);
    Open(session, WsUrl());
    ASSERT_TRUE(session.client->SendText("idle"));
    ASSERT_TRUE(recorder.WaitText("idle"));  // Run is waiting on the socket now

    std::thread([&] { session.client->DisConnect(); }).join();
    ASSERT_TRUE(session.WaitEnded());
    EXPECT_NE(session.client->GetConnectStatus(), WebSocketOpen);
    EXPECT_FALSE(session.client->SendText("after"));
    EXPECT_TRUE(recorder.Locked([&] { return recorder.statuses.back() == WebSocketClosed; }));
}

TEST_F(WebSocketClientTest, DisConnectBeforeRunMakesRunReturn)
{
    Session session(recorder);
    ASSERT_TRUE(session.client->Connect(WsUrl(), {}, kConnectTimeoutMs));
    session.client->DisConnect();
    session.Start();
    EXPECT_TRUE(session.WaitEnded());
}

// Whatever way the server ends the connection, Run returns and the client
// reports it closed; a bad frame or an endless message is a bounded failure,
// not a hang or unbounded memory.
TEST_F(WebSocketClientTest, ServerSideEndsRun)
{
    const std::string tooBig = "!big " + std::to_string(WebSocketClient::kMaxMessageBytes + 1);
    for (const std::string& command : {std::string("!close 4001"), std::string("!drop"), std::string("!bad"), tooBig}) {
        SCOPED_TRACE(command);
        Recorder events;
        Session session(events);
        Open(session, WsUrl());
        ASSERT_TRUE(session.client->SendText(command));
        ASSERT_TRUE(session.WaitEnded());
        EXPECT_NE(session.client->GetConnectStatus(), WebSocketOpen);
        EXPECT_FALSE(session.client->SendText("after"));
        EXPECT_TRUE(events.Locked([&] {
            return events.statuses == std::vector<WebSocketStatus>{WebSocketOpen, WebSocketClosed}
                && events.texts.empty();
        }));
    }
}

// The sandbox's tunnelling proxy (services/connectproxy.py) wants these; the
// colon in the password must reach it as part of the password.
TEST_F(WebSocketClientTest, ThroughHttpProxyWithCredentials)
{
    struct Case {
        bool tls;
        const char* password;
        bool opens;
    };
    const Case cases[] = {
        {false, "pr0xy:secret", true},
        {true, "pr0xy:secret", true},
        {false, "wrong", false},
    };
    ASSERT_NE(ports.proxyPort, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tls ? "wss " : "ws ") + c.password);
        Recorder events;
        Session session(events);
        session.client->SetProxy("127.0.0.1", static_cast<uint16_t>(ports.proxyPort), "veltray-proxy", c.password);
        const bool opened = session.client->Connect(c.tls ? WssUrl() : WsUrl(), {}, kConnectTimeoutMs);
        ASSERT_EQ(opened, c.opens);
        if (!opened)
            continue;
        session.Start();
        ASSERT_TRUE(session.client->SendText("via proxy"));
        EXPECT_TRUE(events.WaitText("via proxy"));
    }
}

// The proxy comes from the proxy settings only; a proxy variable in the
// environment (here a port where nobody listens) must not divert the client.
TEST_F(WebSocketClientTest, IgnoresProxiesFromTheEnvironment)
{
    struct ScopedEnv {
        const wchar_t* name;
        ScopedEnv(const wchar_t* n, const wchar_t* value) : name(n)
        {
            SetEnvironmentVariableW(name, value);
            _wputenv_s(name, value);
        }
        ~ScopedEnv()
        {
            SetEnvironmentVariableW(name, nullptr);
            _wputenv_s(name, L"");
        }
    };
    ScopedEnv all(L"all_proxy", L"http://127.0.0.1:9");
    ScopedEnv ws(L"ws_proxy", L"http://127.0.0.1:9");
    Session session(recorder);
    Open(session, WsUrl());
    ASSERT_TRUE(session.client->SendText("direct"));
    EXPECT_TRUE(recorder.WaitText("direct"));
}

TEST_F(WebSocketClientTest, ConnectFailures)
{
    const std::string cases[] = {
        WsUrl("/no/such/endpoint"),  // the server answers 404, no upgrade
        "ws://127.0.0.1:1/ws/test",  // nobody listens
        "http://127.0.0.1:" + std::to_string(ports.port) + "/ws/test",  // not a WebSocket URL
        "not a url",
    };
    for (const std::string& url : cases) {
        SCOPED_TRACE(url);
        Recorder events;
        WebSocketClient client(&events, nullptr);
        EXPECT_FALSE(client.Connect(url, {}, kConnectTimeoutMs));
        EXPECT_NE(client.GetConnectStatus(), WebSocketOpen);
        EXPECT_FALSE(client.SendText("nothing"));
        client.Run();  // returns at once: nothing is open
        EXPECT_TRUE(events.Locked([&] { return events.statuses.empty(); }));
    }
}

}  // namespace
