#include "app/AppStart.h"
#include "app/Startup.h"
#include "ui/Style.h"

#include <QApplication>

int main(int argc, char** argv)
{
    return RunProgram(argc, argv, [] {
        ApplyAppStyle(*qApp);
        return CreateProgramWindows();
    });
}
