#pragma once
// The one HTTP GET of the installer: WinHTTP, synchronous, redirects, progress, whole body.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Called after every read with the bytes received so far and the announced total (0: none).
using ProgressFunction = std::function<void(std::uint64_t received, std::uint64_t total)>;
// Called with each piece of the final response's body as it arrives, before the progress
// function; in order, the pieces are the body the call returns.
using BodyFunction = std::function<void(std::string_view piece)>;

// Fetches an http:// or https:// URL. extraHeaders holds header lines separated by CR LF (the
// last CR LF may be left out). On failure the error text (when given) is set and body is left
// untouched; on success body holds the final response's body and the error text is untouched.
bool HttpGet(const std::wstring& url, std::vector<char>& body, std::wstring* error,
             const ProgressFunction& progress, const std::wstring& extraHeaders,
             const BodyFunction& pieces = {});

// A small document (configuration, settings, a link service's answer): HttpGet without
// progress, the body as bytes in a string. A body longer than 1 MiB, or announced as longer, is
// not read: the text comes back empty, as from a document that holds nothing. Nothing is
// reserved from the announced length.
bool HttpGetText(const std::wstring& url, std::string& text, std::wstring* error,
                 const std::wstring& extraHeaders);
