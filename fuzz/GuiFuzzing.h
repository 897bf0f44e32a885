#pragma once

// What the fuzz targets that draw or decode pictures share: a GUI application
// on the offscreen platform, the leak report's known exception, and the way a
// broken promise ends the run.

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void broken(const char* what)
{
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

// The font configuration library caches what it has looked up (each new font
// family the input names) for the life of the process; that is not a leak of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

// Text needs fonts and pictures need image readers: both need the application.
inline void startGuiApplication(const char* name)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(name), nullptr};
    new QGuiApplication(argc, argv);
}
