#pragma once

#include <QString>
#include <atomic>
#include <cstddef>
#include <cstdint>

// One synchronous HTTP request at a time for the update check: GET or POST with a form-encoded
// body, a direct send first and the desktop's proxy settings when that fails, the response body
// collected into the caller's buffer. It knows nothing of the update protocol.
//
// The module state (time-outs, last error) is process-wide and unprotected: one thread makes the
// requests, one at a time.
namespace update {

// The caller's response buffer for the update check.
inline constexpr size_t kResponseBufferSize = 102400;
// Written at the start of the buffer when nothing could be sent (no terminator is written).
inline constexpr char kNoLinkServer[] = "NO_LINK_SERVER";

// Last error codes of the refused calls; other failures record libcurl's code.
inline constexpr uint32_t kErrorEmptyUrl = 3;
inline constexpr uint32_t kErrorBadMethod = 87;

// Resets the module state: user agent, connect time-out 60 s, send and receive time-outs 30 s
// (no byte moving for that long ends the request), last error 0.
void HttpInit();

// Sends `method` ("GET" or "POST", any case; sent upper-cased) to `url` with the headers
// "Content-Length", "Content-Type: application/x-www-form-urlencoded" and
// "Accept:application/prs.Pelix.v1+json" and the `length` bytes of `body`, and appends the
// response body (of any status) to `buffer`, storing at most `capacity` bytes; the rest of a
// longer answer is not read (the debug trace says it was cut). https verifies the server's
// certificate and host name.
//
// Returns -1 for a refused call (empty URL: last error 3; other method: 87; no session), else
// the number of bytes stored: 0 with "NO_LINK_SERVER" at the start of the buffer when the
// request could not be sent on any route, 0 with the buffer untouched when it was sent but no
// answer came. `stop`, when given, is watched throughout: once set the request ends within a
// few tens of milliseconds, reported as not sent.
int32_t HttpRequest(const QString& method, const QString& url, const char* body, int32_t length,
                    char* buffer, size_t capacity = kResponseBufferSize,
                    const std::atomic<bool>* stop = nullptr);

uint32_t HttpLastError();

}  // namespace update
