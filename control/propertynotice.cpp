#include "propertynotice.h"

#include <QDebug>

namespace PropertyNotice {
namespace {

Handler& installed()
{
    static Handler handler;
    return handler;
}

} // namespace

void setHandler(Handler handler)
{
    installed() = std::move(handler);
}

void show(const QString& title, const QString& text)
{
    if (installed()) {
        installed()(title, text);
    } else {
        qWarning().noquote() << title << ":" << text;
    }
}

} // namespace PropertyNotice
