#include "ui/paint/plain_paint.h"

#include <QByteArray>
#include <QList>

namespace tally {

bool Uses(Technique technique) {
    static const QList<QByteArray> off = [] {
        const QByteArray value = qgetenv("TALLYSCOPE_PLAIN_PAINT").trimmed();
        return value.isEmpty() || value == "0" ? QList<QByteArray>() : value.split(',');
    }();
    static const char* const names[] = {"backdrop", "frames", "cells", "chart", "slot"};
    return !off.contains("1") && !off.contains(names[static_cast<int>(technique)]);
}

}  // namespace tally
