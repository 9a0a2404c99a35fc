// Korvex: the window over the recorder disk reader. The program runs the
// main window until it closes and then ends.
#include <QApplication>

#include "app/app_icon.h"
#include "app/main_dialog.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // Message boxes carry the application's name as their caption.
  QApplication::setApplicationName(QStringLiteral("Korvex"));
  // What the window remembers lies under ~/.config/korvex/.
  QApplication::setOrganizationName(QStringLiteral("korvex"));
  QApplication::setApplicationVersion(QStringLiteral(KORVEX_VERSION));
  // Desktops match the window to its desktop entry by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.korvex.Korvex"));
  QApplication::setWindowIcon(korvex::korvexIcon());

  korvex::MainDialog dialog;
  dialog.exec();
  return 0;
}
