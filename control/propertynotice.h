#pragma once

#include <QString>

#include <functional>

// What the property layer has to tell the user, such as a vendor dialog
// that could not be shown. The layer itself makes no widget, so that
// lumora-ctl loads no widget library: the window installs the handler that
// shows the message box, and without one the text goes to the debug log.
namespace PropertyNotice {

using Handler = std::function<void(const QString& title, const QString& text)>;

// Replaces the handler; an empty one restores the debug log.
void setHandler(Handler handler);
void show(const QString& title, const QString& text);

} // namespace PropertyNotice
