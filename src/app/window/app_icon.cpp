#include "app/window/app_icon.h"

namespace tally {

QIcon ApplicationIcon() {
    // Drawn from the same SVG as the icons installed for the desktop's menus.
    QIcon icon;
    for (const char* size : {"48", "256"})
        icon.addFile(
            QStringLiteral(":/icons/org.tallyscope.Tallyscope-%1.png").arg(QLatin1String(size)));
    return icon;
}

}  // namespace tally
