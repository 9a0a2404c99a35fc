// The window tests need one QApplication for the whole run.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // The tests set the offscreen platform in their environment; listing the
  // tests at build time runs without it, and must not need a display either.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Korvex"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
