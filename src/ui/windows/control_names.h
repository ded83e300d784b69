// Every control carries its name as its objectName; arrays add "_" and the index.
#pragma once

#include <QString>

namespace tally {

template <typename T>
T* named(T* control, const QString& name) {
    control->setObjectName(name);
    return control;
}

// "cmdDO_1" for ("cmdDO", 1).
inline QString indexed(const char* name, int index) {
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

}  // namespace tally
