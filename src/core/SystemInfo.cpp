#include "core/SystemInfo.h"

#include "core/Platform.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSysInfo>

using namespace Qt::StringLiterals;

QString PlatformName()
{
#if defined(Q_OS_LINUX)
    return u"Linux"_s;
#elif defined(Q_OS_WIN)
    return u"Windows"_s;
#elif defined(Q_OS_MACOS)
    return u"MacOS"_s;
#else
    return u"Unknown"_s;
#endif
}

QString ArchitectureName()
{
    const QString cpu = QSysInfo::currentCpuArchitecture();
    if (cpu == u"x86_64"_s)
        return u"IntelX64"_s;
    if (cpu == u"i386"_s)
        return u"IntelX86"_s;
    if (cpu == u"arm"_s)
        return u"ARM32"_s;
    return u"Unknown"_s;
}

double OsVersionNumber()
{
    const QStringList parts = QSysInfo::kernelVersion().split(u'.');
    if (parts.size() < 2)
        return 0;
    bool okMajor = false, okMinor = false;
    const int major = parts[0].toInt(&okMajor);
    const int minor = parts[1].toInt(&okMinor);
    return okMajor && okMinor ? major + minor / 10.0 : 0;
}

QString OsDescription()
{
    try {
        QString text = Platform::OsVersionText().trimmed();
        if (text.isEmpty())
            return u"Unknown"_s;
        if (IsWine())
            text = u"[WINE] "_s + text;
        return text;
    } catch (...) {
        return u"Unknown"_s;
    }
}

QString OsDescriptionShort(int length)
{
    const QString text = OsDescription();
    if (text.size() <= length)
        return text;
    const QString head = text.left(length);
    const qsizetype bracket = head.indexOf(u'(');
    return bracket < 0 ? QString() : head.left(bracket).trimmed();
}

bool IsWine()
{
    return Platform::RunningUnderWine();
}

QString OsUserName()
{
    const QString name = Platform::UserName().trimmed();
    return name.isEmpty() ? u"Unknown"_s : name;
}

QString ComputerName()
{
    const QString name = Platform::ComputerName().trimmed();
    return name.isEmpty() ? u"Unknown"_s : name;
}

QString ScreenSizeText()
{
    const QScreen* screen =
        qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen)
        return u"Unknown"_s;
    const QSize size = screen->size();
    if (size.width() <= 0 || size.height() <= 0)
        return u"Unknown"_s;
    return u"%1x%2"_s.arg(size.width()).arg(size.height());
}
