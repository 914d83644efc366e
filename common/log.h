#pragma once
// The log of every run, for support: VexaBoxInstaller.log in the user's temporary folder, UTF-8,
// one line per event, each after the local time to the millisecond. It holds what the steps did,
// never a secret: callers log no key, no query string and no credential. Writing it never fails
// a run: a line that cannot be written is lost.

#include <string_view>

// Begins a run's part of the log with its heading line. A log larger than 1 MiB becomes
// VexaBoxInstaller.old.log first, replacing an older one. The file is opened for the process (not
// through a link) and stays open; a run begun again opens it again.
void BeginLog(std::wstring_view heading);

// Appends one line; control characters in it (line breaks among them) become spaces. Nothing
// before BeginLog.
void Log(std::wstring_view line);
