// What the window remembers between runs, kept in the desktop's settings
// (QSettings): the disk, the output folder, the language, the width and
// whether the advanced band was open, whether a time file is written.
#pragma once

#include <QString>
#include <optional>

#include "jobs/job_settings.h"

namespace korvex {

struct WindowSettings {
  QString disk;
  QString outputFolder;
  // None until a language was chosen, or when what is kept is no number.
  std::optional<int> language;
  int width = 0;
  bool advancedOpen = false;
  // The advanced band's "Write time file"; on where nothing was kept.
  bool timeFile = true;

  // What the last run saved; empty texts, no language and width 0 where it
  // saved nothing.
  static WindowSettings load();
  // Keeps every field, the language included when there is one.
  void save() const;
  // Keeps the language alone, as soon as it is chosen.
  static void saveLanguage(int language);
  // The case details last given for jobs into `outputFolder`; empty ones
  // for a folder never given any.
  static CaseDetails caseFor(const QString& outputFolder);
  static void saveCase(const QString& outputFolder, const CaseDetails& details);

  // The recorder clock's offset kept for a disk (its path as the form
  // shows it), only when the user asked: empty when none is kept.
  static QString clockOffsetForDisk(const QString& disk);
  // Keeps `offset` for the disk; an empty text forgets it.
  static void keepClockOffsetForDisk(const QString& disk, const QString& offset);
};

}  // namespace korvex
