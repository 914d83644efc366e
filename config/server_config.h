#pragma once
// The server configuration: where the back end lives.

#include <string>

#include "config/status.h"
#include "net/session.h"

// The api base address (trimmed, ending in '/') from the primary configuration endpoint, or
// from the fallback endpoint when the primary gives none; empty when neither does. Reports
// "正在连接服务器..." before each attempt.
std::wstring FetchServerConfig(const ProxySettings& proxies, const StatusFunction& status);
