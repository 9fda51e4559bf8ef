#include "core/Bugs.h"
#include "core/Config.h"
#include "core/Guarded.h"
#include "core/MiscFunc.h"
#include "core/Platform.h"
#include "core/uTypes.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

#include <stdexcept>

using namespace Qt::StringLiterals;

// Files, paths, the desktop and the screen.

namespace {

QString FolderOf(const QString& path)
{
    QString folder = QFileInfo(path).absolutePath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

} // namespace

bool InitPaths(const QString& exePath)
{
    try {
        TPaths p;
        p.SystemDrive = Platform::SystemDrive();
        p.ExePath = QFileInfo(exePath).absoluteFilePath();
        p.ExeFolder = FolderOf(p.ExePath);
        p.InstallFolder = p.SystemDrive + Config::InstallFolderName + u'/';
        p.InstalledExe = p.InstallFolder + Config::ExeFileName;
        p.DataFolder = p.ExeFolder + Config::DataSubfolder + u'/';
        p.DatabaseFile = p.DataFolder + Config::DatabaseFileName;
        p.PhotoFolder = p.DataFolder + Config::PhotoSubfolder + u'/';
        p.ToolsFolder = p.ExeFolder + Config::ToolsSubfolder + u'/';
        p.ReportFolder = p.ExeFolder + Config::ReportSubfolder + u'/';
        Paths = p;
        return true;
    } catch (...) {
        return false;
    }
}

bool DeleteFileLogged(const QString& path)
{
    try {
        QFile file(path);
        if (!file.exists())
            return true;
        if (!file.remove())
            throw std::runtime_error(file.errorString().toStdString());
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$3064.5"_s, u"Filename="_s + path + u"; Exception="_s + QString::fromStdString(e.what()));
        return false;
    }
}

bool EnsureFolder(const QString& path)
{
    try {
        return QDir().mkpath(path);
    } catch (...) {
        return false;
    }
}

bool CopyFileOver(const QString& source, const QString& target)
{
    try {
        if (QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath() && QFileInfo::exists(target))
            return true;
        // Copy beside the target and rename over it: a failed copy never leaves a
        // half-written program where the installed one was.
        const QString partial = target + u".part"_s;
        QFile::remove(partial);
        if (!QFile::copy(source, partial))
            return false;
        QFile::setPermissions(partial, QFile::permissions(source));
        QFile::remove(target);
        if (!QFile::rename(partial, target)) {
            QFile::remove(partial);
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool WriteBytesFile(const QString& path, const QByteArray& bytes)
{
    try {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error(file.errorString().toStdString());
        if (file.write(bytes) != bytes.size())
            throw std::runtime_error(file.errorString().toStdString());
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$3064.1"_s, u"Filename="_s + path + u"; Exception="_s + QString::fromStdString(e.what()));
        return false;
    }
}

bool DataFileExists(const QString& name)
{
    try {
        return QFileInfo::exists(Paths.DataFolder + name);
    } catch (const std::exception& e) {
        WriteLog(u"$3064.3"_s,
                 u"Filename="_s + Paths.DataFolder + name + u"; Exception="_s + QString::fromStdString(e.what()));
        return false;
    }
}

bool ReadDataListFile(const QString& name, QStringList& list)
{
    list.clear();
    const QString path = Paths.DataFolder + name;
    try {
        QFile file(path);
        if (!file.exists())
            throw std::runtime_error("File not found");
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(file.errorString().toStdString());
        const QByteArray bytes = file.readAll();
        QString content;
        if (bytes.startsWith("\xEF\xBB\xBF"))
            content = QString::fromUtf8(bytes.mid(3));
        else if (bytes.startsWith("\xFF\xFE"))
            content = QStringDecoder(QStringConverter::Utf16LE).decode(bytes.mid(2));
        else if (bytes.startsWith("\xFE\xFF"))
            content = QStringDecoder(QStringConverter::Utf16BE).decode(bytes.mid(2));
        else
            content = QString::fromLatin1(bytes); // the 8-bit code page of the data files
        // Editors end the last line; that line break is not part of the last item.
        while (content.endsWith(u'\n') || content.endsWith(u'\r'))
            content.chop(1);
        if (!content.isEmpty())
            list = content.split(u';');
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$3064.4"_s, u"Filename="_s + path + u"; Exception="_s + QString::fromStdString(e.what()));
        return false;
    }
}

bool WriteDataFileOnce(const QString& name, const QString& text)
{
    const QString path = Paths.DataFolder + name;
    try {
        QFile file(path);
        // NewOnly: when two failures race, the first detail stays.
        if (!file.exists() && file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const QByteArray line = text.toLatin1() + "\r\n";
            file.write(line);
            file.close();
        }
        return QFileInfo::exists(path);
    } catch (const std::exception& e) {
        WriteLog(u"$3064.5"_s, u"Filename="_s + path + u"; Exception="_s + QString::fromStdString(e.what()));
        return false;
    }
}

bool LaunchProgram(const QString& path, const QString& argument)
{
    try {
        const QString arg = argument.trimmed();
        return Platform::StartDetached(path, arg.isEmpty() ? QStringList() : QStringList{arg},
                                       QFileInfo(path).absolutePath());
    } catch (...) {
        return false;
    }
}

void PauseWithEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

bool ShellOpen(const QString& path)
{
    return Guarded(u"$7001"_s, false, [&] {
        const QString target = path.trimmed();
        return !target.isEmpty() && Platform::OpenWithDesktop(target);
    });
}

bool OpenUrl(const QString& address)
{
    return Guarded(u"$7002"_s, false, [&] {
        const QString target = address.trimmed();
        if (target.isEmpty())
            return false;
        // "www.example.com" as typed into the agency's record has no scheme; the browser
        // still has to get it, not the file manager.
        const QUrl url = QUrl::fromUserInput(target);
        return url.isValid() && Platform::OpenWithDesktop(url.toString(QUrl::FullyEncoded));
    });
}

bool OpenMail(const QString& address)
{
    return Guarded(u"$7003"_s, false, [&] {
        const QString target = address.trimmed();
        return !target.isEmpty() && Platform::OpenWithDesktop(u"mailto:"_s + target);
    });
}

namespace {

QScreen* MainScreen()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::primaryScreen() : nullptr;
}

} // namespace

int ScreenWidth()
{
    return Guarded(QString(), -1, [] {
        const QScreen* screen = MainScreen();
        return screen ? screen->size().width() : -1;
    });
}

int ScreenHeight()
{
    return Guarded(QString(), -1, [] {
        const QScreen* screen = MainScreen();
        return screen ? screen->size().height() : -1;
    });
}
