#include "ui/station_fonts.h"

#include <QFontDatabase>

namespace fendrel::ui {

QFont StationFont(int points, bool bold) {
    static const QString family = QFontDatabase::hasFamily(QStringLiteral("Arial"))
                                      ? QStringLiteral("Arial")
                                      : QStringLiteral("Liberation Sans");
    QFont font(family, points, bold ? QFont::Bold : QFont::Normal);
    return font;
}

}  // namespace fendrel::ui
