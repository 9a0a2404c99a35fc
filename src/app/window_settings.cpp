#include "app/window_settings.h"

#include <QSettings>
#include <QVariant>

namespace korvex {

namespace {

// What the window remembers between runs, under these names.
constexpr const char* SETTING_DISK = "disk";
constexpr const char* SETTING_OUTPUT = "outputFolder";
constexpr const char* SETTING_LANGUAGE = "language";
constexpr const char* SETTING_WIDTH = "windowWidth";
constexpr const char* SETTING_ADVANCED = "advancedOpen";
constexpr const char* SETTING_TIME_FILE = "timeFile";
constexpr const char* SETTING_CLOCK_OFFSETS = "clockOffsets";

// A disk path as a key: in hex, as '/' would nest groups.
QString diskKey(const QString& disk) {
  return QLatin1String(SETTING_CLOCK_OFFSETS) + QLatin1Char('/') + QString::fromLatin1(disk.toUtf8().toHex());
}

}  // namespace

WindowSettings WindowSettings::load() {
  const QSettings remembered;
  WindowSettings settings;
  settings.disk = remembered.value(QLatin1String(SETTING_DISK)).toString();
  settings.outputFolder = remembered.value(QLatin1String(SETTING_OUTPUT)).toString();
  const QVariant chosen = remembered.value(QLatin1String(SETTING_LANGUAGE));
  bool isNumber = false;
  const int index = chosen.toInt(&isNumber);
  if (chosen.isValid() && isNumber) settings.language = index;
  settings.width = remembered.value(QLatin1String(SETTING_WIDTH), 0).toInt();
  settings.advancedOpen = remembered.value(QLatin1String(SETTING_ADVANCED), false).toBool();
  settings.timeFile = remembered.value(QLatin1String(SETTING_TIME_FILE), true).toBool();
  return settings;
}

void WindowSettings::save() const {
  QSettings remembered;
  remembered.setValue(QLatin1String(SETTING_DISK), disk);
  remembered.setValue(QLatin1String(SETTING_OUTPUT), outputFolder);
  if (language) remembered.setValue(QLatin1String(SETTING_LANGUAGE), *language);
  remembered.setValue(QLatin1String(SETTING_WIDTH), width);
  remembered.setValue(QLatin1String(SETTING_ADVANCED), advancedOpen);
  remembered.setValue(QLatin1String(SETTING_TIME_FILE), timeFile);
}

QString WindowSettings::clockOffsetForDisk(const QString& disk) {
  return disk.isEmpty() ? QString() : QSettings().value(diskKey(disk)).toString();
}

void WindowSettings::keepClockOffsetForDisk(const QString& disk, const QString& offset) {
  if (disk.isEmpty()) return;
  QSettings remembered;
  if (offset.isEmpty()) remembered.remove(diskKey(disk));
  else remembered.setValue(diskKey(disk), offset);
}

void WindowSettings::saveLanguage(int language) { QSettings().setValue(QLatin1String(SETTING_LANGUAGE), language); }

}  // namespace korvex
