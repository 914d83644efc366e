#include "config/base_url.h"

#include <algorithm>

#include "common/text.h"

std::wstring NormalizeBaseUrl(const std::wstring& url) {
    std::wstring base = TrimWide(url);
    if (base.empty()) return base;
    const size_t query = std::min(base.find(L'?'), base.size());
    if (query == 0 || base[query - 1] != L'/') base.insert(query, 1, L'/');
    return base;
}

std::wstring AppendToBasePath(const std::wstring& base, std::wstring_view path) {
    std::wstring url = base;
    url.insert(std::min(url.find(L'?'), url.size()), path);
    return url;
}
