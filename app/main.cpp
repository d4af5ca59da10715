#include "fontfallbacks.h"
#include "lumoratray.h"
#include "vorn_cam.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Must be set before the application object exists; Qt ignores it
    // afterwards.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication app(argc, argv);
    installFontFallbacks();
    Vorn_Cam window;
    new LumoraTray(&window);
    window.show();
    return app.exec();
}
