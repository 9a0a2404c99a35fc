// The program's icon, from the resources built into the program.
#pragma once

#include <QIcon>

namespace korvex {

QIcon korvexIcon();

}  // namespace korvex
