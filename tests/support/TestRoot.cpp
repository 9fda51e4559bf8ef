#include "support/TestRoot.h"

#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/uDB.h"

#include <QDir>
#include <QFile>

TestRoot::TestRoot()
{
    qputenv("KORVEL_ROOT", m_dir.path().toUtf8());
    InitFormatSettings();
    InitPaths(m_dir.path() + QStringLiteral("/Korvel/Korvel"));
    QDir().mkpath(Paths.DataFolder);
    CurrentUser = {};
    ForceClose = false;
    ResetTerminationRequest();
    ResetFatalError();
}

TestRoot::~TestRoot()
{
    CloseDatabase();
    Paths = {};
}

QStringList TestRoot::LogLines() const
{
    QStringList lines;
    QFile file(Paths.DataFolder + QStringLiteral("Korvel.log"));
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        lines << Unscramble(QString::fromLatin1(line));
    }
    return lines;
}
