#include "config/base_url.h"

#include <algorithm>

#include "common/text.h"

namespace {

// Where the path ends: at the first '?' or '#', or at the end.
size_t EndOfPath(const std::wstring& url) {
    return std::min(url.find_first_of(L"?#"), url.size());
}

}  // namespace

std::wstring NormalizeBaseUrl(const std::wstring& url) {
    std::wstring base = TrimWide(url);
    if (base.empty()) return base;
    const size_t end = EndOfPath(base);
    if (end == 0 || base[end - 1] != L'/') base.insert(end, 1, L'/');
    return base;
}

std::wstring AppendToBasePath(const std::wstring& base, std::wstring_view path) {
    std::wstring url = base;
    url.insert(EndOfPath(url), path);
    return url;
}
