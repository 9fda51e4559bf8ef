#include "ui/Screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

QSize g_screenOverride;

} // namespace

QSize ScreenSize()
{
    if (g_screenOverride.isValid())
        return g_screenOverride;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize();
}

void SetScreenSizeOverride(const QSize& size)
{
    g_screenOverride = size;
}
