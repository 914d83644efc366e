#pragma once
// The loopback test server, seen from a test: its addresses, and control requests that set up
// routes and read back what arrived. Control requests use WinHTTP directly, never the code
// under test.

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text.h"

inline std::wstring Widen(std::string_view text) {
    return Utf8ToWide(std::string(text));
}
inline std::string Narrow(std::wstring_view text) {
    return WideToUtf8(std::wstring(text));
}

std::wstring HttpUrl(std::string_view path);       // http://localhost:<port><path>
std::wstring HttpsUrl(std::string_view path);      // HTTPS, certificate of the trusted test CA
std::wstring UntrustedUrl(std::string_view path);  // HTTPS, certificate nobody trusts
std::wstring RefusedUrl(std::string_view path);    // a port where nothing listens

// A JSON string literal (quotes included) holding the text.
std::string JsonText(std::string_view text);

// The server keeps its routes and request log for as long as it runs: paths that hold this
// tag keep a second run of a program against the same server apart from the first.
const std::string& RunTag();

// A response whose body is the text, and a redirect response.
std::string Body(std::string_view text);
std::string Redirect(int status, std::string_view location);

// Requests for path get the responses of the JSON array in turn, the last one from then on; a
// single response object serves every request.
void SetRoute(const std::string& path, const std::string& responsesJson);
// Lets the responses held under the name go on (a response's "hold"); one that comes later is
// not held.
void ReleaseHold(const std::string& name);
// Raw heads of the requests whose target starts with prefix, each after "listener: <name>".
std::string RequestLog(const std::string& prefix);
int RequestCount(const std::string& prefix);
// The same requests as lines: the request line first, then the header lines.
std::vector<std::vector<std::string>> RequestHeads(const std::string& prefix);
// Every request that reached the test proxy, likewise: an absolute URI or CONNECT first.
std::vector<std::vector<std::string>> ProxyHeads();

// Checks a text function against rows of an input and the expected result.
using Rows = std::vector<std::pair<std::wstring, std::wstring>>;
void ExpectEach(const std::function<std::wstring(const std::wstring&)>& function, const Rows& rows);
