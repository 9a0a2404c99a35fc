// How the window's parts make their controls: each one named "control<id>"
// and carrying its id, so that MainDialog::control(id) finds it wherever it
// sits.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include "app/control_ids.h"
#include "lang/language.h"

namespace korvex {

inline QString controlName(int id) { return QStringLiteral("control%1").arg(id); }

// The text of a key of section "language" in the current language.
inline QString languageCaption(const char* key) { return QString::fromStdString(languageText(key)); }

template <class Widget>
Widget* makeControl(QWidget* parent, int id) {
  auto* widget = new Widget(parent);
  widget->setObjectName(controlName(id));
  widget->setProperty(CONTROL_ID_PROPERTY, id);
  return widget;
}

inline QLabel* makeLabel(QWidget* parent, int id, const QString& caption) {
  auto* label = makeControl<QLabel>(parent, id);
  label->setText(caption);
  return label;
}

// Push buttons never act as the dialog's default button: Enter in an edit
// box must not press one.
inline QPushButton* makeButton(QWidget* parent, int id, const QString& caption) {
  auto* button = makeControl<QPushButton>(parent, id);
  button->setText(caption);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

inline QCheckBox* makeCheckBox(QWidget* parent, int id, const QString& caption) {
  auto* box = makeControl<QCheckBox>(parent, id);
  box->setText(caption);
  return box;
}

}  // namespace korvex
