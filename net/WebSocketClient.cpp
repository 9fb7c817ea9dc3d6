#include "platform/Win32.h"
#include <winsock2.h>

#include "net/WebSocketClient.h"

#include <curl/curl.h>

#include <vector>

namespace {

// Close codes of RFC 6455 that this client sends.
constexpr unsigned short kCloseNormal = 1000;
constexpr unsigned short kCloseTooBig = 1009;

// A waiting Run() looks at the stop flag at least this often even if the
// wake event were lost; DisConnect normally wakes it at once.
constexpr DWORD kWaitSliceMs = 1000;

// Messages taken per drain before they are delivered and senders get a turn.
constexpr size_t kEventsPerDrain = 64;

// How long one send may wait for the socket to take more bytes.
constexpr int kSendStallMs = 10000;

struct Event {
    enum Kind { Text, Binary, Alive } kind;
    std::string data;
};

bool WaitWritable(curl_socket_t socket, int timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, nullptr, &set, nullptr, &tv) == 1;
}

// The body of a refused upgrade (an error page) would otherwise go to stdout.
size_t DiscardBody(char*, size_t size, size_t count, void*)
{
    return size * count;
}

// Lets DisConnect abandon a handshake that a silent server would otherwise
// hold for the whole connect time-out.
int AbortWhenStopped(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

std::string ClosePayload(unsigned short code)
{
    return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xff)};
}

} // namespace

bool WebSocketClient::InitializeClient()
{
    static const bool ok = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    return ok;
}

WebSocketClient::WebSocketClient(IWebSocket* handler, void* context)
    : m_handler(handler), m_context(context)
{
    m_wakeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

WebSocketClient::~WebSocketClient()
{
    {
        std::lock_guard<std::mutex> lock(m_handleLock);
        ReleaseLocked();
    }
    if (m_wakeEvent)
        CloseHandle(m_wakeEvent);
}

void WebSocketClient::SetProxy(const std::string& host, uint16_t port, const std::string& userName,
                               const std::string& password)
{
    m_proxyHost = host;
    m_proxyPort = port;
    m_proxyUser = userName;
    m_proxyPassword = password;
}

bool WebSocketClient::Connect(const std::string& url, const std::map<std::string, std::string>& headers,
                              int timeoutMs)
{
    bool open;
    {
        std::lock_guard<std::mutex> lock(m_handleLock);
        open = ConnectLocked(url, headers, timeoutMs);
    }
    if (open && m_handler)
        m_handler->OnConnectStatus(m_context, WebSocketOpen);
    return open;
}

bool WebSocketClient::ConnectLocked(const std::string& url, const std::map<std::string, std::string>& headers,
                                    int timeoutMs)
{
    if (m_curl || !m_wakeEvent || !InitializeClient()) {
        return false;
    }
    m_curl = curl_easy_init();
    if (!m_curl) {
        m_status = WebSocketFailed;
        return false;
    }
    for (const auto& [name, value] : headers) {
        const std::string line = name + ": " + value;
        if (curl_slist* next = curl_slist_append(m_headers, line.c_str()))
            m_headers = next;
    }
    const long timeout = timeoutMs > 0 ? timeoutMs : 0;
    curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_curl, CURLOPT_CONNECT_ONLY, 2L);
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, DiscardBody);
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, AbortWhenStopped);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, &m_stop);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, timeout);
    // Bounds the upgrade handshake too; it does not apply once
    // curl_easy_perform has returned.
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, timeout);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 0L);
    // Pings are answered here so that they also count as signs of life.
    curl_easy_setopt(m_curl, CURLOPT_WS_OPTIONS, static_cast<long>(CURLWS_NOAUTOPONG));
    if (m_headers)
        curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_headers);
    // The proxy comes from the proxy settings only; an empty one also keeps
    // libcurl from taking all_proxy or ws_proxy from the environment.
    curl_easy_setopt(m_curl, CURLOPT_PROXY, m_proxyHost.c_str());
    if (!m_proxyHost.empty()) {
        curl_easy_setopt(m_curl, CURLOPT_PROXYPORT, static_cast<long>(m_proxyPort));
        curl_easy_setopt(m_curl, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
        // A plain HTTP proxy may not pass an upgrade through; a tunnel always does.
        curl_easy_setopt(m_curl, CURLOPT_HTTPPROXYTUNNEL, 1L);
        if (!m_proxyUser.empty()) {
            curl_easy_setopt(m_curl, CURLOPT_PROXYUSERNAME, m_proxyUser.c_str());
            curl_easy_setopt(m_curl, CURLOPT_PROXYPASSWORD, m_proxyPassword.c_str());
        }
    }

    curl_socket_t socket = CURL_SOCKET_BAD;
    long code = 0;
    if (curl_easy_perform(m_curl) != CURLE_OK
        || curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK || code != 101
        || curl_easy_getinfo(m_curl, CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK || socket == CURL_SOCKET_BAD) {
        ReleaseLocked();
        m_status = WebSocketFailed;
        return false;
    }
    WSAEVENT socketEvent = WSACreateEvent();
    if (socketEvent == WSA_INVALID_EVENT || WSAEventSelect(socket, socketEvent, FD_READ | FD_CLOSE) != 0) {
        if (socketEvent != WSA_INVALID_EVENT)
            WSACloseEvent(socketEvent);
        ReleaseLocked();
        m_status = WebSocketFailed;
        return false;
    }
    m_socket = socket;
    m_socketEvent = socketEvent;
    m_status = WebSocketOpen;
    return true;
}

bool WebSocketClient::SendFrameLocked(const char* data, size_t length, unsigned flags)
{
    if (!m_curl)
        return false;
    size_t offset = 0;
    do {
        size_t sent = 0;
        const CURLcode rc = curl_ws_send(m_curl, data + offset, length - offset, &sent, 0, flags);
        if (rc == CURLE_AGAIN) {
            if (!WaitWritable(static_cast<curl_socket_t>(m_socket), kSendStallMs))
                return false;
            continue;
        }
        if (rc != CURLE_OK)
            return false;
        offset += sent;
    } while (offset < length);
    return true;
}

bool WebSocketClient::SendText(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_handleLock);
    if (m_status != WebSocketOpen)
        return false;
    return SendFrameLocked(text.data(), text.size(), CURLWS_TEXT);
}

void WebSocketClient::DisConnect()
{
    m_stop = true;
    if (m_wakeEvent)
        SetEvent(m_wakeEvent);
}

void WebSocketClient::ReleaseLocked()
{
    if (m_socketEvent) {
        WSAEventSelect(static_cast<SOCKET>(m_socket), nullptr, 0);
        WSACloseEvent(m_socketEvent);
        m_socketEvent = nullptr;
    }
    m_socket = ~uintptr_t(0);
    if (m_curl) {
        curl_easy_cleanup(m_curl);
        m_curl = nullptr;
    }
    if (m_headers) {
        curl_slist_free_all(m_headers);
        m_headers = nullptr;
    }
}

void WebSocketClient::Run()
{
    if (m_status != WebSocketOpen)
        return;

    std::vector<char> buffer(64 * 1024);
    std::string message;  // fragments of the data message in progress
    bool inMessage = false;
    bool messageIsText = false;
    std::string control;  // payload of the control frame in progress
    std::vector<Event> events;
    bool ended = false;

    while (!ended) {
        bool more = false;
        {
            std::lock_guard<std::mutex> lock(m_handleLock);
            while (!ended) {
                if (events.size() >= kEventsPerDrain) {
                    // A peer that never pauses must not starve senders or
                    // delay delivery: hand over what is there first.
                    more = true;
                    break;
                }
                if (m_stop) {
                    const std::string payload = ClosePayload(kCloseNormal);
                    (void)SendFrameLocked(payload.data(), payload.size(), CURLWS_CLOSE);
                    ended = true;
                    break;
                }
                size_t received = 0;
                const curl_ws_frame* meta = nullptr;
                const CURLcode rc = curl_ws_recv(m_curl, buffer.data(), buffer.size(), &received, &meta);
                if (rc == CURLE_AGAIN)
                    break;
                if (rc != CURLE_OK || !meta) {
                    // Broken connection, or a frame libcurl refused (reserved
                    // bits, unknown opcode, masked from the server).
                    ended = true;
                    break;
                }
                const int flags = meta->flags;
                if (flags & (CURLWS_CLOSE | CURLWS_PING | CURLWS_PONG)) {
                    if (meta->offset == 0)
                        control.clear();
                    control.append(buffer.data(), received);
                    if (meta->bytesleft != 0)
                        continue;
                    if (flags & CURLWS_CLOSE) {
                        // Answer with the peer's code, as RFC 6455 asks.
                        const std::string payload = control.size() >= 2 ? control.substr(0, 2) : std::string();
                        (void)SendFrameLocked(payload.data(), payload.size(), CURLWS_CLOSE);
                        ended = true;
                    } else {
                        if (flags & CURLWS_PING)
                            (void)SendFrameLocked(control.data(), control.size(), CURLWS_PONG);
                        events.push_back({Event::Alive, control});
                    }
                    continue;
                }
                if (!(flags & (CURLWS_TEXT | CURLWS_BINARY)) && !inMessage)
                    continue;  // a stray continuation: nothing to join it to
                if (!inMessage) {
                    inMessage = true;
                    messageIsText = (flags & CURLWS_TEXT) != 0;
                    message.clear();
                }
                if (message.size() + received > kMaxMessageBytes) {
                    const std::string payload = ClosePayload(kCloseTooBig);
                    (void)SendFrameLocked(payload.data(), payload.size(), CURLWS_CLOSE);
                    ended = true;
                    break;
                }
                message.append(buffer.data(), received);
                if (meta->bytesleft == 0 && !(flags & CURLWS_CONT)) {
                    events.push_back({messageIsText ? Event::Text : Event::Binary, std::move(message)});
                    message.clear();
                    inMessage = false;
                }
            }
            if (ended) {
                m_status = WebSocketClosed;
                ReleaseLocked();
            }
        }

        for (const Event& event : events) {
            if (!m_handler)
                break;
            switch (event.kind) {
            case Event::Text:
                m_handler->OnTextMessage(m_context, event.data.data(), event.data.size());
                break;
            case Event::Binary:
                (void)m_handler->OnOtherMessage(m_context, event.data.data(), event.data.size());
                break;
            case Event::Alive:
                m_handler->OnAlive(m_context, event.data.data(), event.data.size());
                break;
            }
        }
        events.clear();
        if (ended)
            break;
        if (more)
            continue;  // already buffered: the socket event may stay unset

        HANDLE waits[2] = {m_socketEvent, m_wakeEvent};
        WaitForMultipleObjects(2, waits, FALSE, kWaitSliceMs);
        // Resets the socket event before the next drain, so data that arrives
        // during the drain sets it again instead of being missed.
        WSANETWORKEVENTS happened;
        WSAEnumNetworkEvents(static_cast<SOCKET>(m_socket), m_socketEvent, &happened);
    }
    if (m_handler)
        m_handler->OnConnectStatus(m_context, WebSocketClosed);
}
