#include "client/app/KavrelApp.h"

int main(int argc, char** argv)
{
    CKavrelApp app;
    if (!app.InitInstance(argc, argv))
        return app.m_nExitCode;
    return app.Run();
}
