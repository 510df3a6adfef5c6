#include "app/MainApp.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    MainApp app;
    app.InitInstance();
    return app.ExitInstance();
}
