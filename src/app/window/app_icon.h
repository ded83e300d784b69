// The program's icon, carried inside the executable so that the window and its
// dialogs show it wherever the program runs from.
#pragma once

#include <QIcon>

namespace tally {

QIcon ApplicationIcon();

}  // namespace tally
