#pragma once
// What the command line asks of the program. The installer takes no arguments but the silent
// mode's (the convention of deployment tools and package managers: /S, then /D=<directory> as
// the last argument, unquoted, spaces and all); its copy in the install folder is the uninstaller
// when started with the uninstall switch.

#include <string>
#include <string_view>

struct Invocation {
    enum class Mode { kWindow, kSilentInstall, kUninstall, kQuietUninstall };
    Mode mode = Mode::kWindow;
    std::wstring directory;  // after /D=, for the silent install; empty: none given
};

// The arguments after the program's name: "/S" (exactly so) makes the install silent, and
// "/uninstall" (letters in any case) the uninstall, quiet with "/S" too. Everything from "/D="
// to the end, trailing white space aside, is the directory (a pair of quotes around it goes).
// Anything else is ignored, and without "/S" so is "/D=".
Invocation ParseCommandLine(std::wstring_view arguments);
