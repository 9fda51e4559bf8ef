#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Picture codes that stand between a person and an account change. Only the digest of
// a code is kept, so a typed code is checked by digest.

constexpr int CaptchaLetters = 4;

QString NewCaptchaCode();
QString CaptchaDigest(const QString& code);
// The typed code counts in any letter case.
bool CaptchaMatches(const QString& typed, const QString& digest);
// Draws a new code into a picture of the given size and returns the code.
QString CaptchaImage(QImage& image, const QSize& size);
void DrawCaptcha(QImage& image, const QSize& size, const QString& code);
