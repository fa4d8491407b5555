// GoogleTest main for the tests on a real X server, with the program's own application object;
// scripts/with-xserver provides the server, the window manager and the xcb platform.
#include "app/application.h"

#include <cstdio>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "These tests need an X server: run them through scripts/with-xserver.\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    quillotone::TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
