#pragma once
// The two addresses the server configuration is fetched from, in the order they are tried.
// They are build settings (VEXA_PRIMARY_CONFIG_URL, VEXA_FALLBACK_CONFIG_URL, VEXA_CONFIG_HOST);
// CMake writes them into a generated source in the build folder.

extern const wchar_t kPrimaryConfigUrl[];
extern const wchar_t kFallbackConfigUrl[];
