#pragma once
// The uninstaller as the user meets it, started from Apps & features: a question first and the
// outcome after, in standard message boxes; started quiet, none of either.

// Runs the uninstaller; its exit code: 0 removed (files of the user's may stay), 1 the user
// said no, 2 a file of the install is in use, 3 not an install to remove (not in an install
// folder, a link, another account's folder, one that cannot be read), 4 a file of ours could not
// be removed.
int RunUninstaller(bool quiet);
