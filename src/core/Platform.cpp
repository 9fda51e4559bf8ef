#include "core/Platform.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrl>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Platform {

using namespace Qt::StringLiterals;

QString ExecutableSuffix()
{
    return {};
}

static QString WithSlash(QString path)
{
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

QString SystemDrive()
{
    const QString root = qEnvironmentVariable("KORVEL_ROOT");
    if (!root.isEmpty())
        return WithSlash(QDir::cleanPath(QDir(root).absolutePath()));
    return WithSlash(QDir::homePath() + u"/.local/share"_s);
}

QString DesktopFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString InstanceLockPath(const QString& name)
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::tempPath();
    return WithSlash(folder) + name + u".lock"_s;
}

bool AcquireProcessLock(const QString& path)
{
    // The descriptor is deliberately never closed: the lock lives as long as the process,
    // and the kernel releases it however the process ends.
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    return true;
}

static QString DesktopEscape(const QString& value)
{
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += u"\\\\"_s;
            break;
        case '\n':
            out += u"\\n"_s;
            break;
        case '\r':
            out += u"\\r"_s;
            break;
        case '\t':
            out += u"\\t"_s;
            break;
        default:
            out += c;
        }
    }
    return out;
}

static QString ExecQuote(const QString& path)
{
    QString quoted = path;
    for (const QString& ch : {u"\\"_s, u"\""_s, u"`"_s, u"$"_s})
        quoted.replace(ch, u"\\"_s + ch);
    return u"\""_s + quoted + u"\""_s;
}

bool WriteDesktopLauncher(const QString& launcherPath, const QString& name, const QString& target,
                          const QString& workingFolder, const QString& iconPath, const QString& comment)
{
    QString text = u"[Desktop Entry]\n"_s
                   u"Type=Application\n"_s
                   u"Version=1.0\n"_s;
    text += u"Name="_s + DesktopEscape(name) + u'\n';
    text += u"Comment="_s + DesktopEscape(comment) + u'\n';
    // Exec values are unescaped once as a string and then parsed as a quoted command line.
    text += u"Exec="_s + DesktopEscape(ExecQuote(target)) + u'\n';
    text += u"Path="_s + DesktopEscape(workingFolder) + u'\n';
    if (!iconPath.isEmpty())
        text += u"Icon="_s + DesktopEscape(iconPath) + u'\n';
    text += u"Terminal=false\n"_s;

    QFile file(launcherPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size())
        return false;
    file.close();
    // Desktops only start launchers that are executable.
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

static TStartHook& StartHook()
{
    static TStartHook hook;
    return hook;
}

void SetStartDetachedHook(TStartHook hook)
{
    StartHook() = std::move(hook);
}

bool StartDetached(const QString& program, const QStringList& arguments, const QString& workingFolder)
{
    if (StartHook())
        return StartHook()(program, arguments, workingFolder);
    return QProcess::startDetached(program, arguments, workingFolder);
}

bool OpenWithDesktop(const QString& urlOrPath)
{
    QUrl url(urlOrPath);
    if (url.scheme().isEmpty() || QFileInfo::exists(urlOrPath))
        url = QUrl::fromLocalFile(urlOrPath);
    return QDesktopServices::openUrl(url);
}

QString UserName()
{
    return qEnvironmentVariable("USER");
}

QString ComputerName()
{
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0)
        return {};
    return QString::fromLocal8Bit(buffer);
}

QString OsVersionText()
{
    QString pretty;
    QFile release(u"/etc/os-release"_s);
    if (release.open(QIODevice::ReadOnly)) {
        while (!release.atEnd()) {
            const QString line = QString::fromUtf8(release.readLine()).trimmed();
            if (line.startsWith(u"PRETTY_NAME="_s)) {
                pretty = line.mid(12);
                if (pretty.size() >= 2 && pretty.startsWith(u'"') && pretty.endsWith(u'"'))
                    pretty = pretty.mid(1, pretty.size() - 2);
            }
        }
    }
    if (pretty.isEmpty())
        pretty = QSysInfo::prettyProductName();
    return pretty + u" "_s + QSysInfo::kernelVersion();
}

bool RunningUnderWine()
{
    return false;
}

bool SameNameIgnoringCase(const QString& a, const QString& b)
{
    const QLocale system = QLocale::system();
    return system.toUpper(a) == system.toUpper(b);
}

} // namespace Platform
