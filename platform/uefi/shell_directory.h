// The current directory that the older shell hands over belongs to the
// program; the entry gives it back when the run is over.
#pragma once

void ShellReleaseCurrentDirectory();
