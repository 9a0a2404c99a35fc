// The toolkit's side of the chosen language: its own texts (the file
// dialogs, the edit boxes' context menus) from its translations, and the
// locale that dates, times and calendars follow.
#pragma once

#include <QLocale>
#include <QString>

namespace korvex {

// The current language's locale, as its file names it ("zh_CN"); English
// (United States) when it names none.
QLocale languageLocale();

// Makes `locale` the default and the toolkit's own texts follow it: its
// translation for that locale is loaded from `translationsFolder` (the
// toolkit's own folder when empty) in place of the last one; none is
// loaded for a locale it has none for. Returns whether one was loaded.
bool followLocale(const QLocale& locale, const QString& translationsFolder = QString());

}  // namespace korvex
