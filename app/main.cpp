#include "fontfallbacks.h"
#include "lumoratray.h"
#include "vorn_cam.h"
#include "windownetwork.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Must be set before the application object exists; Qt ignores it
    // afterwards.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication app(argc, argv);
    installFontFallbacks();
    Vorn_Cam window;
    auto* tray = new LumoraTray(&window);
    // The network servers start once the loop runs, and tell from the tray.
    QObject::connect(window.network(), &WindowNetwork::refused, tray, &LumoraTray::tell);
    window.show();
    return app.exec();
}
