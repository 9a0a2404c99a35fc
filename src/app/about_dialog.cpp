#include "app/about_dialog.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/app_icon.h"
#include "lang/language.h"
#include "lang/language_keys.h"

namespace korvex {

namespace {
QString text(const char* key) { return QString::fromStdString(languageText(key)); }
}  // namespace

// Its texts come from the current language's file.
AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(text(KEY_ABOUT_TITLE));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setWindowIcon(korvexIcon());

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("aboutIcon"));
  icon->setPixmap(korvexIcon().pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);

  // Plain text: an ampersand is shown as it is.
  auto* version = new QLabel(text(KEY_ABOUT_VERSION), this);
  version->setObjectName(QStringLiteral("aboutVersion"));
  version->setTextFormat(Qt::PlainText);
  auto* description = new QLabel(text(KEY_ABOUT_DESCRIPTION), this);
  description->setObjectName(QStringLiteral("aboutDescription"));
  description->setTextFormat(Qt::PlainText);

  auto* ok = new QPushButton(text(KEY_OK), this);
  ok->setObjectName(QStringLiteral("aboutOk"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* texts = new QVBoxLayout;
  texts->addWidget(version);
  texts->addWidget(description);
  texts->addStretch();
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(icon);
  layout->addSpacing(8);
  layout->addLayout(texts, 1);
  layout->addSpacing(16);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace korvex
