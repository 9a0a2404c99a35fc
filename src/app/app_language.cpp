#include "app/app_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#include "app/window_controls.h"
#include "lang/language_keys.h"

namespace korvex {

namespace {

// The translation installed now; owned by the application, used by the
// window's thread only.
QPointer<QTranslator> installedTranslation;

}  // namespace

QLocale languageLocale() {
  const QString name = languageCaption(KEY_LOCALE).trimmed();
  const QLocale locale(name);
  if (name.isEmpty() || locale == QLocale::c()) return QLocale(QLocale::English, QLocale::UnitedStates);
  return locale;
}

bool followLocale(const QLocale& locale, const QString& translationsFolder) {
  QLocale::setDefault(locale);
  if (installedTranslation) {
    QCoreApplication::removeTranslator(installedTranslation);
    delete installedTranslation;
  }
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return false;
  // English is the toolkit's own language: nothing to load.
  if (locale.language() == QLocale::English) return false;
  const QString folder =
      translationsFolder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : translationsFolder;
  auto* translation = new QTranslator(application);
  if (!translation->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
    delete translation;
    return false;
  }
  QCoreApplication::installTranslator(translation);
  installedTranslation = translation;
  return true;
}

}  // namespace korvex
