#include "net/url.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace {

constexpr wchar_t kHttpPrefix[] = L"http://";
constexpr wchar_t kHttpsPrefix[] = L"https://";
constexpr DWORD kHostArea = 512;
constexpr DWORD kPathArea = 4096;
constexpr DWORD kExtraArea = 2047;

std::wstring_view SchemePrefix(INTERNET_SCHEME scheme) {
    return scheme == INTERNET_SCHEME_HTTPS ? kHttpsPrefix : kHttpPrefix;
}

std::wstring OriginOf(const UrlParts& parts) {
    std::wstring origin(SchemePrefix(parts.scheme));
    origin += parts.host;
    const bool defaultPort = (parts.scheme == INTERNET_SCHEME_HTTPS && parts.port == 443) ||
                             (parts.scheme == INTERNET_SCHEME_HTTP && parts.port == 80);
    if (!defaultPort) {
        origin += L':';
        origin += std::to_wstring(parts.port);
    }
    return origin;
}

bool IsAsciiAlpha(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// Length of the reference's scheme including its colon, or 0 when it has none.
size_t SchemeLength(std::wstring_view ref) {
    if (ref.empty() || !IsAsciiAlpha(ref[0])) return 0;
    for (size_t i = 1; i < ref.size(); ++i) {
        const wchar_t c = ref[i];
        if (c == L':') return i + 1;
        if (!IsAsciiAlpha(c) && !(c >= L'0' && c <= L'9') && c != L'+' && c != L'-' && c != L'.') {
            return 0;
        }
    }
    return 0;
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Removes "." and ".." segments from an absolute path.
std::wstring RemoveDotSegments(std::wstring_view path) {
    std::vector<std::wstring_view> segments;
    size_t start = 1;  // the path begins with '/'
    while (start <= path.size()) {
        const size_t slash = std::min(path.find(L'/', start), path.size());
        const std::wstring_view segment = path.substr(start, slash - start);
        const bool last = slash == path.size();
        if (segment == L"..") {
            if (!segments.empty()) segments.pop_back();
            if (last) segments.emplace_back();
        } else if (segment == L".") {
            if (last) segments.emplace_back();
        } else {
            segments.push_back(segment);
        }
        start = slash + 1;
    }
    std::wstring result;
    for (const auto segment : segments) {
        result += L'/';
        result += segment;
    }
    return result.empty() ? L"/" : result;
}

struct Reference {
    std::wstring_view path;
    std::wstring_view query;     // with its '?', empty when absent
    std::wstring_view fragment;  // with its '#', empty when absent
};

Reference SplitReference(std::wstring_view text) {
    Reference ref;
    const size_t hash = std::min(text.find(L'#'), text.size());
    ref.fragment = text.substr(hash);
    text = text.substr(0, hash);
    const size_t question = std::min(text.find(L'?'), text.size());
    ref.query = text.substr(question);
    ref.path = text.substr(0, question);
    return ref;
}

}  // namespace

bool SplitUrl(const std::wstring& url, UrlParts& parts) {
    std::vector<wchar_t> host(kHostArea), path(kPathArea), extra(kExtraArea);
    URL_COMPONENTS components{};
    components.dwStructSize = sizeof(components);
    components.lpszHostName = host.data();
    components.dwHostNameLength = kHostArea;
    components.lpszUrlPath = path.data();
    components.dwUrlPathLength = kPathArea;
    components.lpszExtraInfo = extra.data();
    components.dwExtraInfoLength = kExtraArea;
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &components)) {
        return false;
    }
    parts.host.assign(host.data(), components.dwHostNameLength);
    parts.path_with_query.assign(path.data(), components.dwUrlPathLength);
    if (components.dwExtraInfoLength > 0) {
        parts.path_with_query.append(extra.data(), components.dwExtraInfoLength);
    }
    parts.scheme = components.nScheme;
    parts.port = components.nPort;
    return true;
}

std::wstring ResolveRedirectTarget(const std::wstring& location, const UrlParts& current) {
    if (StartsWith(location, kHttpPrefix) || StartsWith(location, kHttpsPrefix)) return location;

    if (const size_t scheme = SchemeLength(location); scheme > 0) {
        // Absolute already; WinHTTP is only told the scheme in lower case.
        std::wstring absolute = location;
        for (size_t i = 0; i < scheme; ++i) {
            if (absolute[i] >= L'A' && absolute[i] <= L'Z') absolute[i] += L'a' - L'A';
        }
        return absolute;
    }
    if (StartsWith(location, L"//")) {
        std::wstring target(SchemePrefix(current.scheme));
        return target.append(location, 2);
    }

    const Reference ref = SplitReference(location);
    const Reference base = SplitReference(current.path_with_query);
    std::wstring target = OriginOf(current);
    if (ref.path.empty()) {
        target += base.path.empty() ? L"/" : base.path;
        target += ref.query.empty() ? base.query : ref.query;
    } else {
        if (ref.path.front() == L'/') {
            target += RemoveDotSegments(ref.path);
        } else {
            std::wstring merged(base.path.substr(0, base.path.rfind(L'/') + 1));
            if (merged.empty()) merged = L"/";
            merged += ref.path;
            target += RemoveDotSegments(merged);
        }
        target += ref.query;
    }
    target += ref.fragment;
    return target;
}

std::wstring UrlOrigin(const std::wstring& url) {
    UrlParts parts;
    if (!SplitUrl(url, parts)) return {};
    return OriginOf(parts);
}
