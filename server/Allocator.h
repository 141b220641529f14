// Allocator: sets glibc's allocator up for a server that carries values of many megabytes.
#pragma once

namespace vorlix {

// Gives each big buffer a mapping of its own, returned to the system when it is freed, and
// backs such mappings with huge pages. The latter is a start-up setting of glibc only, so the
// first call re-executes the program (same pid, same arguments) with it in its environment;
// it returns when the setting is already there, was turned off by the user, or the re-execution
// failed. Call it first thing, before any file or thread is opened.
void TuneAllocator(char** argv);

}  // namespace vorlix
