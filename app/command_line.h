// The command line. `quillotone --convert [OPTIONS] PATH...` converts without a window through the
// list's checks, the drop's folder search, the output naming, the conversion run and the tagging
// step that the window uses; `quillotone PATH...` opens the window with the paths added as a drop
// adds them.
#pragma once

#include <QStringList>

namespace quillotone {

class TfrmMain;

// True when the arguments ask for no window: --convert, --help or --version before any "--".
bool IsConsoleRun(int argc, char** argv);

// The run without a window, with an application object of its own; returns the exit status:
// 0 every file converted, 1 a file skipped or failed, 2 a usage error.
int ConsoleMain(int argc, char** argv);

// The paths as absolute, clean paths, in the order given.
QStringList AbsolutePaths(const QStringList& paths);

// Adds the paths to the window's list as a drop of them would, once the event loop runs.
void OpenPaths(TfrmMain& window, const QStringList& paths);

} // namespace quillotone
