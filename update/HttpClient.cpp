#include "update/HttpClient.h"

#include <curl/curl.h>
#include <proxy.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "hid/DebugLog.h"

namespace update {

namespace {

struct ModuleState {
    std::string userAgent;
    long resolveTimeoutMs = 0;  // 0: no limit
    long connectTimeoutMs = 60000;
    long sendTimeoutMs = 30000;
    long receiveTimeoutMs = 30000;
    uint32_t lastError = 0;
};

ModuleState& state()
{
    static ModuleState s;
    return s;
}

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink {
    char* buffer;
    size_t capacity;
    size_t stored = 0;
    bool cut = false;
};

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    auto* sink = static_cast<Sink*>(user);
    const size_t bytes = size * count;
    const size_t room = sink->capacity - sink->stored;
    const size_t take = bytes < room ? bytes : room;
    if (take > 0) {
        std::memcpy(sink->buffer + sink->stored, data, take);
        sink->stored += take;
    }
    if (take < bytes) {
        // The buffer is full: stop reading rather than take more than the caller can hold.
        sink->cut = true;
        return take;
    }
    return bytes;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* stop = static_cast<const std::atomic<bool>*>(user);
    return stop && stop->load() ? 1 : 0;
}

// Runs the transfer and watches `stop` every few tens of milliseconds: libcurl calls the progress
// function only about once a second while nothing moves, which is too slow for a window closing.
CURLcode runTransfer(CURL* curl, const std::atomic<bool>* stop)
{
    CURLM* multi = curl_multi_init();
    if (!multi)
        return curl_easy_perform(curl);
    curl_multi_add_handle(multi, curl);
    CURLcode code = CURLE_OK;
    bool done = false;
    while (!done) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* m = curl_multi_info_read(multi, &queued)) {
            if (m->msg == CURLMSG_DONE) {
                code = m->data.result;
                done = true;
            }
        }
        if (done)
            break;
        if (stop && stop->load()) {
            code = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, 20, nullptr);
    }
    curl_multi_remove_handle(multi, curl);
    curl_multi_cleanup(multi);
    return code;
}

// Whether a failed transfer left the request unsent (nothing reached a server): the caller then
// tries the next route and finally reports "NO_LINK_SERVER".
bool notSent(CURLcode code, CURL* curl)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_ABORTED_BY_CALLBACK:
    case CURLE_SEND_ERROR:
        return true;
    default:
        break;
    }
    long requestSize = 0;
    curl_easy_getinfo(curl, CURLINFO_REQUEST_SIZE, &requestSize);
    return requestSize == 0;
}

struct Attempt {
    CURLcode code = CURLE_OK;
    bool sent = false;
};

Attempt perform(const std::string& method, const std::string& url, const char* body,
                int32_t length, const std::string& proxy, Sink& sink,
                const std::atomic<bool>* stop)
{
    Attempt result;
    CURL* curl = curl_easy_init();
    if (!curl) {
        result.code = CURLE_FAILED_INIT;
        return result;
    }
    const ModuleState& s = state();
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, s.userAgent.c_str());
    // An empty proxy is the direct route: libcurl would otherwise read the environment itself.
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    if (s.resolveTimeoutMs > 0)
        curl_easy_setopt(curl, CURLOPT_DNS_CACHE_TIMEOUT, s.resolveTimeoutMs / 1000);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, s.connectTimeoutMs);
    // Send and receive time-outs: the request ends when no byte moved for that long.
    const long idleSeconds = std::max(s.sendTimeoutMs, s.receiveTimeoutMs) / 1000;
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, idleSeconds > 0 ? idleSeconds : 1L);
    // The server's certificate and host name are always verified.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);

    if (method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
    } else if (length > 0) {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "GET");
    } else {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }
    if (length > 0 || method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, length > 0 ? body : "");
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(length > 0 ? length : 0));
    }
    curl_slist* headers = nullptr;
    const std::string contentLength = "Content-Length: " + std::to_string(length > 0 ? length : 0);
    headers = curl_slist_append(headers, contentLength.c_str());
    headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
    headers = curl_slist_append(headers, "Accept:application/prs.Pelix.v1+json");
    // A body is sent at once, never after waiting for "100 Continue".
    headers = curl_slist_append(headers, "Expect:");
    if (!headers)
        state().lastError = CURLE_OUT_OF_MEMORY;  // the request goes on without them
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, stop);

    result.code = runTransfer(curl, stop);
    if (result.code == CURLE_OK || (result.code == CURLE_WRITE_ERROR && sink.cut)) {
        result.sent = true;
    } else {
        result.sent = !notSent(result.code, curl);
        qCDebug(tesselDebug).noquote()
            << "HTTP" << QString::fromStdString(method) << QString::fromStdString(url)
            << (proxy.empty() ? QStringLiteral("direct") : QString::fromStdString(proxy)) << ":"
            << QString::fromLocal8Bit(error[0] ? error : curl_easy_strerror(result.code));
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return result;
}

// The proxies the desktop's settings (GNOME, KDE, the environment, a PAC script) name for
// `url`, in order, without the direct route.
std::vector<std::string> proxiesFor(const std::string& url)
{
    std::vector<std::string> out;
    pxProxyFactory* factory = px_proxy_factory_new();
    if (!factory)
        return out;
    if (char** proxies = px_proxy_factory_get_proxies(factory, url.c_str())) {
        for (char** p = proxies; *p; ++p) {
            const std::string proxy(*p);
            if (proxy.rfind("direct://", 0) != 0 && !proxy.empty())
                out.push_back(proxy);
        }
        px_proxy_factory_free_proxies(proxies);
    }
    px_proxy_factory_free(factory);
    return out;
}

}  // namespace

void HttpInit()
{
    ModuleState& s = state();
    s = ModuleState{};
    s.userAgent = "WinHTTP Client/1.0";
}

uint32_t HttpLastError()
{
    return state().lastError;
}

int32_t HttpRequest(const QString& method, const QString& url, const char* body, int32_t length,
                    char* buffer, size_t capacity, const std::atomic<bool>* stop)
{
    ModuleState& s = state();
    if (s.userAgent.empty())
        s.userAgent = "WinHTTP Client/1.0";
    if (url.isEmpty()) {
        s.lastError = kErrorEmptyUrl;
        return -1;
    }
    const QString upper = method.toUpper();
    if (upper != QLatin1String("GET") && upper != QLatin1String("POST")) {
        s.lastError = kErrorBadMethod;
        return -1;
    }
    if (!buffer)
        capacity = 0;
    if (!body)
        length = 0;
    globalInit();

    const std::string m = upper.toStdString();
    const std::string u = url.toStdString();
    Sink sink{buffer, capacity};
    Attempt attempt = perform(m, u, body, length, std::string(), sink, stop);
    if (attempt.code == CURLE_FAILED_INIT) {
        s.lastError = CURLE_FAILED_INIT;
        return -1;
    }
    if (!attempt.sent && !(stop && stop->load())) {
        for (const std::string& proxy : proxiesFor(u)) {
            attempt = perform(m, u, body, length, proxy, sink, stop);
            if (attempt.sent || (stop && stop->load()))
                break;
        }
    }
    if (attempt.code != CURLE_OK && !(attempt.code == CURLE_WRITE_ERROR && sink.cut))
        s.lastError = uint32_t(attempt.code);
    if (sink.cut)
        qCDebug(tesselDebug) << "HTTP answer cut at" << sink.stored << "bytes";
    if (!attempt.sent) {
        const size_t n = std::min(capacity, sizeof(kNoLinkServer) - 1);
        if (n > 0)
            std::memcpy(buffer, kNoLinkServer, n);
        return 0;
    }
    return int32_t(sink.stored);
}

}  // namespace update
