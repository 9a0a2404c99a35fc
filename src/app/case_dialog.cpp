#include "app/case_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/window_controls.h"
#include "lang/language_keys.h"

namespace korvex {

bool editCaseDetails(QWidget* parent, CaseDetails& details) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("caseDialog"));
  dialog.setWindowTitle(languageCaption(KEY_CASE_DETAILS));
  auto* form = new QFormLayout(&dialog);
  struct Line {
    const char* key;
    const char* name;
    std::string* value;
  };
  const Line lines[] = {{KEY_CASE_NUMBER, "caseNumber", &details.number},
                        {KEY_EXHIBIT, "caseExhibit", &details.exhibit},
                        {KEY_EXAMINER, "caseExaminer", &details.examiner},
                        {KEY_ORGANISATION, "caseOrganisation", &details.organisation}};
  QLineEdit* edits[4] = {};
  for (std::size_t i = 0; i < 4; ++i) {
    edits[i] = new QLineEdit(QString::fromStdString(*lines[i].value), &dialog);
    edits[i]->setObjectName(QLatin1String(lines[i].name));
    edits[i]->setMinimumWidth(dialog.fontMetrics().averageCharWidth() * 36);
    form->addRow(languageCaption(lines[i].key), edits[i]);
  }
  auto* notes = new QPlainTextEdit(QString::fromStdString(details.notes), &dialog);
  notes->setObjectName(QStringLiteral("caseNotes"));
  notes->setFixedHeight(dialog.fontMetrics().height() * 4 + 12);
  form->addRow(languageCaption(KEY_NOTES), notes);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(languageCaption(KEY_OK));
  buttons->button(QDialogButtonBox::Cancel)->setText(languageCaption(KEY_CANCEL));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return false;
  for (std::size_t i = 0; i < 4; ++i) *lines[i].value = edits[i]->text().trimmed().toStdString();
  details.notes = notes->toPlainText().trimmed().toStdString();
  return true;
}

}  // namespace korvex
