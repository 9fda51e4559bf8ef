#include "core/AppStart.h"
#include "ui/Startup.h"
#include "ui/Style.h"
#include "ui/TfrmMain.h"
#include "ui/TfrmSplash.h"

#include <QApplication>

int main(int argc, char** argv)
{
    return RunProgram(argc, argv, [] {
        ApplyAppStyle(*qApp);
        std::vector<std::unique_ptr<QWidget>> windows;
        auto splash = std::make_unique<TfrmSplash>();
        auto main = std::make_unique<TfrmMain>();
        TfrmMain* mainWindow = main.get();
        splash->SetStartup(RunStartupSequence, [mainWindow] { mainWindow->show(); });
        splash->show();
        windows.push_back(std::move(splash));
        windows.push_back(std::move(main));
        return windows;
    });
}
