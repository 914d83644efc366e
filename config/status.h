#pragma once
// How the configuration steps say what they are doing: a status text for the user as each
// step begins, handed to a function that the caller gives them.

#include <functional>
#include <string_view>

using StatusFunction = std::function<void(std::wstring_view text)>;
