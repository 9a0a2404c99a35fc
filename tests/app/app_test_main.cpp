// The window tests need one QApplication for the whole run.
#include <gtest/gtest.h>

#include <QApplication>

#if defined(__SANITIZE_THREAD__)
#define KORVEX_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KORVEX_THREAD_SANITIZER 1
#endif
#endif

#ifdef KORVEX_THREAD_SANITIZER
// Qt and GLib are not built with ThreadSanitizer. Qt's own pooled threads
// (the GUI pool that paints large areas in parallel, each thread with a GLib
// event dispatcher) hand work and memory over with futex-based locks the
// sanitizer cannot see, so each hand-over looks like a race on memory these
// libraries allocate and free. Calls into the C library made from these
// libraries are not watched; our own code, the workers and every access it
// makes stay watched, also when Qt calls it (a timer's slot).
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so.6\n"
         "called_from_lib:libQt6Gui.so.6\n"
         "called_from_lib:libglib-2.0.so.0\n";
}
#endif

int main(int argc, char** argv) {
  // The tests set the offscreen platform in their environment; listing the
  // tests at build time runs without it, and must not need a display either.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + KORVEX_OFFSCREEN_SCREENS);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Korvex"));
  QApplication::setOrganizationName(QStringLiteral("korvex"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
