#include "app/window_settings.h"

#include <QSettings>
#include <QVariant>
#include <array>
#include <string>

namespace korvex {

namespace {

// What the window remembers between runs, under these names.
constexpr const char* SETTING_DISK = "disk";
constexpr const char* SETTING_OUTPUT = "outputFolder";
constexpr const char* SETTING_LANGUAGE = "language";
constexpr const char* SETTING_WIDTH = "windowWidth";
constexpr const char* SETTING_ADVANCED = "advancedOpen";
constexpr const char* SETTING_TIME_FILE = "timeFile";
// One group per output folder, named by the folder's bytes in hex: a path
// holds '/' and other characters that a key may not.
constexpr const char* SETTING_CASES = "cases";
constexpr const char* CASE_FIELDS[] = {"number", "exhibit", "examiner", "organisation", "notes"};

QString caseGroup(const QString& outputFolder) {
  QString folder = outputFolder;
  while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
  return QLatin1String(SETTING_CASES) + QLatin1Char('/') + QString::fromLatin1(folder.toUtf8().toHex());
}

std::array<std::string*, 5> caseFields(CaseDetails& c) {
  return {&c.number, &c.exhibit, &c.examiner, &c.organisation, &c.notes};
}

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

CaseDetails WindowSettings::caseFor(const QString& outputFolder) {
  QSettings remembered;
  remembered.beginGroup(caseGroup(outputFolder));
  CaseDetails details;
  const auto fields = caseFields(details);
  for (std::size_t i = 0; i < fields.size(); ++i)
    *fields[i] = remembered.value(QLatin1String(CASE_FIELDS[i])).toString().toStdString();
  return details;
}

void WindowSettings::saveCase(const QString& outputFolder, const CaseDetails& details) {
  QSettings remembered;
  remembered.beginGroup(caseGroup(outputFolder));
  CaseDetails copy = details;
  const auto fields = caseFields(copy);
  for (std::size_t i = 0; i < fields.size(); ++i)
    remembered.setValue(QLatin1String(CASE_FIELDS[i]), QString::fromStdString(*fields[i]));
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
