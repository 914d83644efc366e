#pragma once
// Starting the installed client.

#include <string>

// Starts the client, shown normally, in its own folder, the way the desktop starts a program;
// retried while another process holds the file (RetryWhileHeld). COM must be initialised on the
// calling thread. On failure the error text (when given) becomes "无法启动 Vexa盒子".
bool StartClient(const std::wstring& exePath, std::wstring* error);
