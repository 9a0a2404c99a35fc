// The About box: the program's name and version, in the current language.
#pragma once

#include <QDialog>

namespace korvex {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace korvex
