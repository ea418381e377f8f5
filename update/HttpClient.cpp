#include "update/HttpClient.h"

// The library's own prototypes name the calls; they are reached through pointers (below).
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <proxy.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "hid/DebugLog.h"

namespace update {

namespace {

// libcurl and libproxy are opened when the first request is made, not when the program starts:
// with what they pull in they are some twenty libraries that only the update check needs.
struct Api {
    bool ok = false;
    decltype(&::curl_easy_cleanup) curl_easy_cleanup = nullptr;
    decltype(&::curl_easy_getinfo) curl_easy_getinfo = nullptr;
    decltype(&::curl_easy_init) curl_easy_init = nullptr;
    decltype(&::curl_easy_perform) curl_easy_perform = nullptr;
    decltype(&::curl_easy_setopt) curl_easy_setopt = nullptr;
    decltype(&::curl_easy_strerror) curl_easy_strerror = nullptr;
    decltype(&::curl_global_init) curl_global_init = nullptr;
    decltype(&::curl_multi_add_handle) curl_multi_add_handle = nullptr;
    decltype(&::curl_multi_cleanup) curl_multi_cleanup = nullptr;
    decltype(&::curl_multi_info_read) curl_multi_info_read = nullptr;
    decltype(&::curl_multi_init) curl_multi_init = nullptr;
    decltype(&::curl_multi_perform) curl_multi_perform = nullptr;
    decltype(&::curl_multi_poll) curl_multi_poll = nullptr;
    decltype(&::curl_multi_remove_handle) curl_multi_remove_handle = nullptr;
    decltype(&::curl_slist_append) curl_slist_append = nullptr;
    decltype(&::curl_slist_free_all) curl_slist_free_all = nullptr;
    decltype(&::px_proxy_factory_free) px_proxy_factory_free = nullptr;
    decltype(&::px_proxy_factory_free_proxies) px_proxy_factory_free_proxies = nullptr;
    decltype(&::px_proxy_factory_get_proxies) px_proxy_factory_get_proxies = nullptr;
    decltype(&::px_proxy_factory_new) px_proxy_factory_new = nullptr;
};

template <class F>
void resolve(void* library, const char* name, F& out)
{
    out = library ? reinterpret_cast<F>(dlsym(library, name)) : nullptr;
}

const Api& api()
{
    static const Api loaded = [] {
        Api a;
        void* curl = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        void* proxy = dlopen("libproxy.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!curl)
            qCDebug(tesselDebug) << "HTTP: libcurl could not be opened:" << dlerror();
        resolve(curl, "curl_easy_cleanup", a.curl_easy_cleanup);
        resolve(curl, "curl_easy_getinfo", a.curl_easy_getinfo);
        resolve(curl, "curl_easy_init", a.curl_easy_init);
        resolve(curl, "curl_easy_perform", a.curl_easy_perform);
        resolve(curl, "curl_easy_setopt", a.curl_easy_setopt);
        resolve(curl, "curl_easy_strerror", a.curl_easy_strerror);
        resolve(curl, "curl_global_init", a.curl_global_init);
        resolve(curl, "curl_multi_add_handle", a.curl_multi_add_handle);
        resolve(curl, "curl_multi_cleanup", a.curl_multi_cleanup);
        resolve(curl, "curl_multi_info_read", a.curl_multi_info_read);
        resolve(curl, "curl_multi_init", a.curl_multi_init);
        resolve(curl, "curl_multi_perform", a.curl_multi_perform);
        resolve(curl, "curl_multi_poll", a.curl_multi_poll);
        resolve(curl, "curl_multi_remove_handle", a.curl_multi_remove_handle);
        resolve(curl, "curl_slist_append", a.curl_slist_append);
        resolve(curl, "curl_slist_free_all", a.curl_slist_free_all);
        resolve(proxy, "px_proxy_factory_free", a.px_proxy_factory_free);
        resolve(proxy, "px_proxy_factory_free_proxies", a.px_proxy_factory_free_proxies);
        resolve(proxy, "px_proxy_factory_get_proxies", a.px_proxy_factory_get_proxies);
        resolve(proxy, "px_proxy_factory_new", a.px_proxy_factory_new);
        a.ok = a.curl_global_init && a.curl_easy_init && a.curl_easy_setopt && a.curl_easy_cleanup &&
               a.curl_easy_getinfo && a.curl_easy_strerror && a.curl_easy_perform &&
               a.curl_slist_append && a.curl_slist_free_all && a.curl_multi_init &&
               a.curl_multi_add_handle && a.curl_multi_perform && a.curl_multi_info_read &&
               a.curl_multi_poll && a.curl_multi_remove_handle && a.curl_multi_cleanup;
        // Without libproxy only the direct route is tried.
        if (!(a.px_proxy_factory_new && a.px_proxy_factory_get_proxies && a.px_proxy_factory_free_proxies &&
              a.px_proxy_factory_free))
            a.px_proxy_factory_new = nullptr;
        return a;
    }();
    return loaded;
}

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
    std::call_once(once, [] { api().curl_global_init(CURL_GLOBAL_DEFAULT); });
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
    CURLM* multi = api().curl_multi_init();
    if (!multi)
        return api().curl_easy_perform(curl);
    api().curl_multi_add_handle(multi, curl);
    CURLcode code = CURLE_OK;
    bool done = false;
    while (!done) {
        int running = 0;
        if (api().curl_multi_perform(multi, &running) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* m = api().curl_multi_info_read(multi, &queued)) {
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
        api().curl_multi_poll(multi, nullptr, 0, 20, nullptr);
    }
    api().curl_multi_remove_handle(multi, curl);
    api().curl_multi_cleanup(multi);
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
    api().curl_easy_getinfo(curl, CURLINFO_REQUEST_SIZE, &requestSize);
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
    CURL* curl = api().curl_easy_init();
    if (!curl) {
        result.code = CURLE_FAILED_INIT;
        return result;
    }
    const ModuleState& s = state();
    char error[CURL_ERROR_SIZE] = {};
    api().curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    api().curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    api().curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    api().curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    api().curl_easy_setopt(curl, CURLOPT_USERAGENT, s.userAgent.c_str());
    // An empty proxy is the direct route: libcurl would otherwise read the environment itself.
    api().curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    if (s.resolveTimeoutMs > 0)
        api().curl_easy_setopt(curl, CURLOPT_DNS_CACHE_TIMEOUT, s.resolveTimeoutMs / 1000);
    api().curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, s.connectTimeoutMs);
    // Send and receive time-outs: the request ends when no byte moved for that long.
    const long idleSeconds = std::max(s.sendTimeoutMs, s.receiveTimeoutMs) / 1000;
    api().curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    api().curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, idleSeconds > 0 ? idleSeconds : 1L);
    // The server's certificate and host name are always verified.
    api().curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    api().curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);

    if (method == "POST") {
        api().curl_easy_setopt(curl, CURLOPT_POST, 1L);
    } else if (length > 0) {
        api().curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "GET");
    } else {
        api().curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }
    if (length > 0 || method == "POST") {
        api().curl_easy_setopt(curl, CURLOPT_POSTFIELDS, length > 0 ? body : "");
        api().curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(length > 0 ? length : 0));
    }
    curl_slist* headers = nullptr;
    const std::string contentLength = "Content-Length: " + std::to_string(length > 0 ? length : 0);
    headers = api().curl_slist_append(headers, contentLength.c_str());
    headers = api().curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
    headers = api().curl_slist_append(headers, "Accept:application/prs.Pelix.v1+json");
    // A body is sent at once, never after waiting for "100 Continue".
    headers = api().curl_slist_append(headers, "Expect:");
    if (!headers)
        state().lastError = CURLE_OUT_OF_MEMORY;  // the request goes on without them
    api().curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    api().curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    api().curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    api().curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    api().curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    api().curl_easy_setopt(curl, CURLOPT_XFERINFODATA, stop);

    result.code = runTransfer(curl, stop);
    if (result.code == CURLE_OK || (result.code == CURLE_WRITE_ERROR && sink.cut)) {
        result.sent = true;
    } else {
        result.sent = !notSent(result.code, curl);
        qCDebug(tesselDebug).noquote()
            << "HTTP" << QString::fromStdString(method) << QString::fromStdString(url)
            << (proxy.empty() ? QStringLiteral("direct") : QString::fromStdString(proxy)) << ":"
            << QString::fromLocal8Bit(error[0] ? error : api().curl_easy_strerror(result.code));
    }
    api().curl_slist_free_all(headers);
    api().curl_easy_cleanup(curl);
    return result;
}

// The proxies the desktop's settings (GNOME, KDE, the environment, a PAC script) name for
// `url`, in order, without the direct route.
std::vector<std::string> proxiesFor(const std::string& url)
{
    std::vector<std::string> out;
    if (!api().px_proxy_factory_new)
        return out;
    pxProxyFactory* factory = api().px_proxy_factory_new();
    if (!factory)
        return out;
    if (char** proxies = api().px_proxy_factory_get_proxies(factory, url.c_str())) {
        for (char** p = proxies; *p; ++p) {
            const std::string proxy(*p);
            if (proxy.rfind("direct://", 0) != 0 && !proxy.empty())
                out.push_back(proxy);
        }
        api().px_proxy_factory_free_proxies(proxies);
    }
    api().px_proxy_factory_free(factory);
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
    if (!api().ok) {
        s.lastError = CURLE_FAILED_INIT;  // no HTTP library: no session
        return -1;
    }
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
