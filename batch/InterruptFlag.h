// Ctrl-C for the batch tool. The first SIGINT only raises a flag, which the
// run's DoEvents turns into a cancel click (the picture in hand is finished and
// the page written); a second SIGINT ends the process at once with status 130.
#pragma once

namespace miniskop {

class InterruptFlag {
public:
    // Installs the SIGINT handler (once per process).
    static void install();
    // Whether a first SIGINT has arrived.
    static bool raised();
};

}  // namespace miniskop
