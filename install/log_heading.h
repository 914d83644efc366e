#pragma once
// The heading line of a run's part of the log: what ran, and on what.

#include <string>
#include <string_view>

// "VexaBoxInstaller <version of this program's own resource> <run>, Windows <major.minor.build>,
// UI language <name>", followed by `more` when given.
std::wstring LogHeading(std::wstring_view run, std::wstring_view more);
