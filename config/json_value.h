#pragma once
// String values out of JSON text. No tree is built: the document is scanned for a quoted key
// and the string after the next colon is taken, wherever the key stands. The scanner accepts
// any bytes and never reads past the end of the document.

#include <string>
#include <vector>

// The first non-empty string value among the keys, tried in list order (not in the order they
// appear in the document); empty when none has one.
// For each key only its first quoted occurrence in the document counts. Escapes are decoded
// (\uXXXX to UTF-8 with surrogate pairs combined, a lone surrogate as U+FFFD); whitespace at
// both ends of the decoded value is removed.
std::wstring JsonStringValue(const std::string& document, const std::vector<std::string>& keys);
