#include "client/app/KavrelApp.h"

int main(int argc, char** argv)
{
    CKavrelApp app;
    if (!app.InitInstance(argc, argv))
        return 0;
    return app.Run();
}
