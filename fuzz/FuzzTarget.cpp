#include "FuzzTarget.h"

#include "core/Bugs.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

void FuzzFailure(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

namespace {

class QuietFatalHandler : public TFatalHandler {
public:
    void ShowBug(TBugMode, const QString&) override {}
    void Terminate() override {}
};

QTemporaryDir* g_root = nullptr;

} // namespace

void UseThrowAwayRoot()
{
    if (g_root)
        return;
    g_root = new QTemporaryDir;
    if (!g_root->isValid())
        FuzzFailure("no temporary folder");
    std::atexit([] { g_root->remove(); });
    qputenv("KORVEL_ROOT", g_root->path().toUtf8());
    InitFormatSettings();
    InitPaths(g_root->path() + QStringLiteral("/Korvel/Korvel"));
    QDir().mkpath(Paths.DataFolder);
    static QuietFatalHandler fatal;
    SetFatalHandler(&fatal);
}
