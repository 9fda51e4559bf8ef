#pragma once

#include <QSize>

// The smallest screen the main window fits on.
constexpr int kMinScreenWidth = 1008;
constexpr int kMinScreenHeight = 526;

// The screen the program runs on. Tests set another size; an invalid size restores the
// real screen.
QSize ScreenSize();
void SetScreenSizeOverride(const QSize& size);
