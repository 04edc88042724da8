#pragma once

// What pagrim-run sets up before the application starts: where the browser
// runs, a runtime folder of its own, and a standard error that holds only the
// program's own lines.
namespace pagrim::cli {

// Whether the option is on the command line, before the application reads it.
bool hasOption(int argc, char** argv, const char* option);

// Without a display the browser runs off screen (and without a graphics card),
// unless a login window is to be shown; as root Chromium needs its sandbox off.
// Without a runtime folder (under cron, or as root) the program takes a private
// one. False, after saying why, when the run cannot go on.
bool prepareEnvironment(int argc, char** argv);

// Sets XDG_RUNTIME_DIR, when it is not set, to a folder only this user may
// enter (mode 0700): pagrim-runtime-<uid> in the temporary folder, or a fresh
// one beside it when that name is taken by someone else's or an open folder.
void usePrivateRuntimeFolder();

// What the toolkit and the browser's processes write straight to standard
// error goes nowhere from now on; the program's own lines (stderr) still go
// where standard error went.
void quietStandardError();

} // namespace pagrim::cli
