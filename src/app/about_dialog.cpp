#include "app/about_dialog.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/app_icon.h"

namespace korvex {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("关于 Korvex"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setWindowIcon(korvexIcon());

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("aboutIcon"));
  icon->setPixmap(korvexIcon().pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);

  // Plain text: an ampersand is shown as it is.
  auto* version = new QLabel(QStringLiteral("Korvex 1.0 版"), this);
  version->setObjectName(QStringLiteral("aboutVersion"));
  version->setTextFormat(Qt::PlainText);
  auto* description = new QLabel(QStringLiteral("录像机硬盘录像的扫描与备份工具"), this);
  description->setObjectName(QStringLiteral("aboutDescription"));
  description->setTextFormat(Qt::PlainText);

  auto* ok = new QPushButton(QStringLiteral("确定"), this);
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
