#include "net/QuoteCore.h"

#include "platform/DebugSink.h"
#include "platform/JsonRead.h"

#include <json/json.h>

#include <cinttypes>
#include <cstdio>

namespace {

constexpr int32_t kModeKeep = 1;
constexpr int32_t kModeRemove = 3;

// "No" of an answer: 0 when the header or the number is missing or is not an
// integer.
int64_t AnswerNumber(const Json::Value& root)
{
    const Json::Value& header = root["Header"];
    if (!header.isObject())
        return 0;
    const Json::Value& no = header["No"];
    return no.isInt64() ? no.asInt64() : 0;
}

} // namespace

QuoteCore::QuoteCore(WeHttpStore store, OpenNotice onOpen)
    : WeSocketChannel(std::move(store)), m_onOpen(std::move(onOpen))
{
}

QuoteCore::~QuoteCore()
{
    stop();
}

std::string QuoteCore::FrameText(const ParamReqInfo& request, int32_t info)
{
    char header[160];
    std::snprintf(header, sizeof(header),
                  "{\"Header\":{\"FrameId\":0,\"GroupId\":0,\"ModelId\":0,\"Length\":0,\"RawLength\":0,\"No\":%" PRId64
                  ",\"MsgType\":",
                  request.serial);
    std::string frame = header;
    frame += request.key;
    frame += ",\"Info\":" + std::to_string(info) + "}";
    if (!request.body.empty()) {
        frame += ",\"Body\":";
        frame += request.body;
    }
    frame += "}";
    return frame;
}

void QuoteCore::start()
{
    const std::string heartbeat = m_store.lookup ? m_store.lookup("quotecore", "heartbeat") : std::string();
    Restart([&] {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_heartbeat = heartbeat;
    });
}

void QuoteCore::clear()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_requests.clear();
    m_client.reset();
}

void QuoteCore::SendFrameLocked(const ParamReqInfo& request, int32_t info)
{
    // Nothing is queued here: a request sent while disconnected stays in the
    // map and goes out with the next connection.
    if (m_client)
        (void)m_client->SendText(FrameText(request, info));
}

void QuoteCore::send(std::shared_ptr<ParamReqInfo> request)
{
    if (!request)
        return;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (request->mode == kModeKeep || request->mode == kModeRemove) {
        for (auto it = m_requests.begin(); it != m_requests.end(); ++it) {
            if (it->second->tag != request->tag)
                continue;
            std::shared_ptr<ParamReqInfo> old = it->second;
            m_requests.erase(it);
            // The stored request is not shared with its sender any more, so
            // marking it removed changes nothing anyone else reads.
            old->mode = kModeRemove;
            SendFrameLocked(*old, kInfoRemove);
            break;
        }
    }
    if (request->mode == kModeRemove)
        return;
    m_requests[request->serial] = request;
    SendFrameLocked(*request, 0);
}

void QuoteCore::keepAlive()
{
    if (m_stop)
        return;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!m_client)
        return;
    if (m_missedHeartbeats < kMaxMissedHeartbeats) {
        ++m_missedHeartbeats;
        (void)m_client->SendText(m_heartbeat);
    } else {
        m_missedHeartbeats = 0;
        DebugOutput(L"[Quote] no sign of life: reconnecting\n");
        m_client->DisConnect();
    }
}

void QuoteCore::ChannelLoop()
{
    do {
        const std::string address = m_store.lookup ? m_store.lookup("quotecore", "wss") : std::string();
        if (address.empty()) {
            DebugOutput(L"[Quote] no address configured\n");
            return;
        }
        if (auto client = Connect(address)) {
            (void)client->SendText(m_store.lookup("quotecore", "auth"));
            RunClient(client, [this] {
                for (const auto& [serial, request] : m_requests)
                    SendFrameLocked(*request, 0);
            });
        }
    } while (WaitBeforeRetry());
}

void QuoteCore::OnConnectStatus(void*, WebSocketStatus status)
{
    if (status == WebSocketOpen && m_openNotice.exchange(false) && m_onOpen)
        m_onOpen();
}

void QuoteCore::OnTextMessage(void*, const char* data, size_t length)
{
    m_missedHeartbeats = 0;
    if (!data || length == 0)
        return;
    auto root = std::make_shared<Json::Value>();
    if (!JsonRead::Parse(std::string_view(data, length), *root) || !root->isObject())
        return;
    const int64_t number = AnswerNumber(*root);
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_requests.find(number);
    if (it == m_requests.end())
        return;
    const std::shared_ptr<ParamReqInfo> request = it->second;
    try {
        if (request->onPush)
            request->onPush(request, root);
    } catch (...) {
        return;
    }
    // The handler may have replaced or removed the entry meanwhile; only the
    // request that was answered is forgotten.
    if (request->mode != kModeKeep) {
        auto again = m_requests.find(number);
        if (again != m_requests.end() && again->second == request)
            m_requests.erase(again);
    }
}
