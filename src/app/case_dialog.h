// The case details of the jobs into one output folder: a small dialog of
// five fields, in the current language.
#pragma once

#include "jobs/job_settings.h"

class QWidget;

namespace korvex {

// Shows `details` for editing; true, with them changed, when the user
// confirms.
bool editCaseDetails(QWidget* parent, CaseDetails& details);

}  // namespace korvex
