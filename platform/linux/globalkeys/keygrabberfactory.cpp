// Which grabber a Linux session has: the desktop portal's global shortcuts
// in a Wayland session whose desktop offers them, else X11's key grabs.

#include "globalkeygrabber.h"
#include "portalkeygrabber.h"
#include "x11keygrabber.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QX11Info>

namespace {

// Set by the desktop for every program of a Wayland session, X11 ones under
// XWayland too.
bool waylandDesktop()
{
    return QGuiApplication::platformName() == QLatin1String("wayland") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
}

} // namespace

GlobalKeyGrabber* GlobalKeyGrabber::create(QObject* parent, QString* why)
{
    const bool wayland = waylandDesktop();
    QString noPortal;
    if (wayland) {
        if (PortalKeyGrabber* portal = PortalKeyGrabber::connect(parent, &noPortal)) {
            return portal;
        }
    }
    // A Wayland session lets no program see the keys of another's window; an
    // X11 program there (XWayland) sees those typed into X11 windows, which
    // is better than nothing where the desktop has no portal for them.
    if (wayland && !QX11Info::isPlatformX11()) {
        *why = QCoreApplication::translate(
                   "GlobalKeyGrabber", "A Wayland session does not let a program see keys pressed "
                                       "in other programs' windows, and %1")
                   .arg(noPortal);
        return nullptr;
    }
    if (!QX11Info::isPlatformX11() || !QX11Info::connection()) {
        *why = QCoreApplication::translate("GlobalKeyGrabber",
                                           "Keys during calls need an X11 desktop session");
        return nullptr;
    }
    return new X11KeyGrabber(QX11Info::connection(), QX11Info::appRootWindow(), parent);
}
