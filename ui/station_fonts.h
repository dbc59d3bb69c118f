// The pages' fonts: Arial where the machine has it, else Liberation Sans, which has Arial's
// metrics (Debian fonts-liberation2), so texts fit their cells the same way.
#pragma once

#include <QFont>

namespace fendrel::ui {

QFont StationFont(int points, bool bold = false);

}  // namespace fendrel::ui
