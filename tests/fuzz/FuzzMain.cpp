// libFuzzer driver: one executable per body, chosen at compile time with
// MINISKOP_FUZZ_BODY. A QGuiApplication (offscreen) is made once, so Qt's image
// readers find their plugins as they do in the program.
#include <QGuiApplication>
#include <cstdlib>

#include "FuzzBodies.h"

#ifndef MINISKOP_FUZZ_BODY
#error "MINISKOP_FUZZ_BODY names the body to drive"
#endif

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt gets a copy of the program name only; the fuzzer's own flags stay
    // untouched.
    (void)argc;
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    static QGuiApplication app(qtArgc, qtArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    miniskop::fuzz::MINISKOP_FUZZ_BODY(data, size);
    return 0;
}
