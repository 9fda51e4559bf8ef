#include "core/AppStart.h"
#include "ui/TfrmSplash.h"

int main(int argc, char** argv)
{
    return RunProgram(argc, argv, [] {
        std::vector<std::unique_ptr<QWidget>> windows;
        auto splash = std::make_unique<TfrmSplash>();
        splash->show();
        windows.push_back(std::move(splash));
        return windows;
    });
}
