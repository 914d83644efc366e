// Many HttpGet calls in one process, mixing successes, redirects, error statuses, refused
// connections and bodies that end early; the process's handles, GDI objects and private bytes
// before and after show whether anything leaks.
// Usage: soak_http.exe CALLS
#include <windows.h>

#include "bench_support.h"
#include "net/http_get.h"
#include "support/test_server.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    const int calls = _wtoi(argv[1]);
    SetRoute("/soak/404", R"([{"status": 404, "body": "missing"}])");
    SetRoute("/soak/short", R"([{"body_size": 100000, "send": 30000}])");
    const struct {
        std::wstring url;
        bool succeeds;
    } kinds[] = {
        {HttpUrl("/_gen/bytes?size=200000"), true},
        {HttpUrl("/_gen/redirect?left=3"), true},
        {HttpUrl("/soak/404"), false},
        {RefusedUrl("/soak/refused"), false},
        {HttpUrl("/soak/short"), false},
        {HttpsUrl("/_gen/bytes?size=50000"), true},
    };
    auto call = [&](int i) {
        const auto& kind = kinds[static_cast<size_t>(i) % std::size(kinds)];
        std::wstring error;
        return HttpGet({}, kind.url, {}, {}, &error) == kind.succeeds;
    };
    // The first calls load WinHTTP, TLS and the thread pool: measure after them.
    for (int i = 0; i < 12; ++i)
        call(i);
    const ProcessCounters before = ReadCounters(GetCurrentProcess());
    int wrong = 0;
    for (int i = 0; i < calls; ++i)
        wrong += !call(i);
    const ProcessCounters after = ReadCounters(GetCurrentProcess());

    const long handles = static_cast<long>(after.handles) - static_cast<long>(before.handles);
    const long gdi = static_cast<long>(after.gdi_objects) - static_cast<long>(before.gdi_objects);
    const double privateMib = MiB(after.private_bytes) - MiB(before.private_bytes);
    const std::string label = std::to_string(calls) + " HttpGet calls";
    PrintRow(label + ": results as expected",
             std::to_string(calls - wrong) + " of " + std::to_string(calls), "all", wrong == 0);
    PrintRow(label + ": handles",
             std::to_string(before.handles) + " -> " + std::to_string(after.handles), "+-5",
             std::abs(handles) <= 5);
    PrintRow(label + ": GDI objects",
             std::to_string(before.gdi_objects) + " -> " + std::to_string(after.gdi_objects), "+-2",
             std::abs(gdi) <= 2);
    PrintRow(label + ": private bytes",
             Format("%.1f", MiB(before.private_bytes)) + " -> " +
                 Format("%.1f MiB", MiB(after.private_bytes)),
             "no growth beyond noise (2 MiB)", privateMib <= 2.0);
    return wrong == 0 && std::abs(handles) <= 5 && std::abs(gdi) <= 2 && privateMib <= 2.0 ? 0 : 1;
}
