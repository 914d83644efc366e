#pragma once
// How operations report failure: they return bool and take an optional destination for a
// user-facing Chinese error text. On failure the destination (when given) is replaced by one
// fixed text, or by the text of the operation that failed inside; on success it is untouched.

#include <string>
#include <string_view>

inline bool Fail(std::wstring* error, std::wstring_view text) {
    if (error) error->assign(text);
    return false;
}
