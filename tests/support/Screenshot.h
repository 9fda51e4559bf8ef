#pragma once

// Pictures of windows for people to look at; never compared. The test target defines
// KORVEL_SCREENSHOT_DIR (the build folder's screenshots/).

#include <QDir>
#include <QPixmap>
#include <QString>
#include <QWidget>

inline void SaveShot(QWidget* widget, const QString& name)
{
    QDir().mkpath(QStringLiteral(KORVEL_SCREENSHOT_DIR));
    widget->grab().save(QStringLiteral(KORVEL_SCREENSHOT_DIR) + u'/' + name + QStringLiteral(".png"));
}
