#pragma once
// One install run, from the edit box's directory to the started client, on its own thread.

// The thread's entry. Reports to the window only through posted messages; ends every run,
// whatever fails, with InstallRunning cleared.
void InstallWorker();
