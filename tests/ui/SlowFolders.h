// Slow folders for tests: the test executable carries its own opendir,
// readdir, readdir64 and closedir, which stand in front of the C library's
// for the program's code and Qt's alike (as an LD_PRELOAD library would, but
// in a way the sanitizers accept). Every entry read from a folder under the
// given prefix waits first, like a network share or a camera on USB.
#pragma once

#include <QString>

namespace miniskop::testing {

// Folders whose path starts with `prefix` are read slowly from now on, each
// entry after `microseconds`; an empty prefix ends it. Streams already open
// keep their pace. The calling thread is the one slowSteps counts.
void slowDownFolders(const QString& prefix, int microseconds);

// How many slowed entries the thread that called slowDownFolders has read.
int slowStepsOnCallingThread();

}  // namespace miniskop::testing
