#pragma once
// Files that another process holds: a client still running from the install folder, and a
// scanner that opened a file just written.

#include <functional>
#include <string>

// True when no file below the directory is held by another process so that it could not be
// replaced: each is opened for writing, sharing everything and truncating nothing, until the
// first that fails with a sharing or lock violation. A directory that does not exist holds
// none. On failure the error text (when given) becomes "Vexa盒子正在运行，请先退出".
bool CheckNothingInUse(const std::wstring& directory, std::wstring* error);

// Calls attempt, which reports failure through GetLastError, again while it fails the way a file
// that another process holds for a moment makes it fail (a sharing violation, or access denied),
// for up to 10 s, waiting 100 ms at first and twice as long each time. Its last result.
bool RetryWhileHeld(const std::function<bool()>& attempt);
