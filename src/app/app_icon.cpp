#include "app/app_icon.h"

namespace korvex {

QIcon korvexIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/korvex/icons/korvex-%1.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace korvex
