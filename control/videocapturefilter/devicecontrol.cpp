#include "devicecontrol.h"

#include "controlaccess.h"

#include <cstring>

namespace {

// A device that kept answering would keep the dialog from ever opening.
constexpr int kMaximumControls = 1024;
constexpr qint64 kMaximumMenuEntries = 256;

bool kindOf(quint32 type, DeviceControl::Kind* kind)
{
    switch (type) {
    case V4L2_CTRL_TYPE_INTEGER:
        *kind = DeviceControl::Kind::Integer;
        return true;
    case V4L2_CTRL_TYPE_BOOLEAN:
        *kind = DeviceControl::Kind::Boolean;
        return true;
    case V4L2_CTRL_TYPE_MENU:
        *kind = DeviceControl::Kind::Menu;
        return true;
    case V4L2_CTRL_TYPE_INTEGER_MENU:
        *kind = DeviceControl::Kind::IntegerMenu;
        return true;
    case V4L2_CTRL_TYPE_BUTTON:
        *kind = DeviceControl::Kind::Button;
        return true;
    default:
        // Control classes, 64-bit integers, strings, bitmasks and compound
        // controls have no editor here.
        return false;
    }
}

QList<MenuEntry> readMenu(const ControlAccess& access, const v4l2_query_ext_ctrl& query)
{
    QList<MenuEntry> entries;
    if (query.minimum < 0 || query.maximum - query.minimum >= kMaximumMenuEntries) {
        return entries;
    }
    for (qint64 index = query.minimum; index <= query.maximum; ++index) {
        v4l2_querymenu item;
        std::memset(&item, 0, sizeof item);
        item.id = query.id;
        item.index = quint32(index);
        if (access.queryMenu(&item) < 0) {
            // Menus may have holes (uvcvideo's exposure modes do).
            continue;
        }
        QString text;
        if (query.type == V4L2_CTRL_TYPE_INTEGER_MENU) {
            text = QString::number(item.value);
        } else {
            const char* name = reinterpret_cast<const char*>(item.name);
            text = QString::fromUtf8(name, int(strnlen(name, sizeof item.name)));
        }
        entries.append({index, text});
    }
    return entries;
}

bool fromQuery(const ControlAccess& access, const v4l2_query_ext_ctrl& query,
               DeviceControl* control)
{
    DeviceControl::Kind kind;
    if ((query.flags & V4L2_CTRL_FLAG_DISABLED) || !kindOf(query.type, &kind)) {
        return false;
    }
    control->id = query.id;
    control->kind = kind;
    const char* name = query.name;
    control->name = QString::fromUtf8(name, int(strnlen(name, sizeof query.name)));
    control->minimum = query.minimum;
    control->maximum = query.maximum;
    control->step = query.step > 0 ? qint64(query.step) : 1;
    control->defaultValue = query.default_value;
    control->flags = query.flags;
    control->menu.clear();
    if (kind == DeviceControl::Kind::Menu || kind == DeviceControl::Kind::IntegerMenu) {
        control->menu = readMenu(access, query);
    }
    return true;
}

} // namespace

bool DeviceControl::readOnly() const
{
    return flags & V4L2_CTRL_FLAG_READ_ONLY;
}

bool DeviceControl::inactive() const
{
    return flags & V4L2_CTRL_FLAG_INACTIVE;
}

bool DeviceControl::hasValue() const
{
    return kind != Kind::Button && !(flags & V4L2_CTRL_FLAG_WRITE_ONLY);
}

QList<DeviceControl> DeviceControls::enumerate(const ControlAccess& access)
{
    QList<DeviceControl> controls;
    quint32 last = 0;
    for (int count = 0; count < kMaximumControls; ++count) {
        v4l2_query_ext_ctrl query;
        std::memset(&query, 0, sizeof query);
        query.id = last | V4L2_CTRL_FLAG_NEXT_CTRL;
        // The end of the list (EINVAL) or a device that cannot be asked.
        if (access.queryExtControl(&query) < 0) {
            break;
        }
        // The list must move forward, or a faulty answer would loop.
        const quint32 id =
            query.id & ~quint32(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        if (id <= last) {
            break;
        }
        last = id;
        DeviceControl control;
        if (fromQuery(access, query, &control)) {
            controls.append(control);
        }
    }
    return controls;
}

bool DeviceControls::describe(const ControlAccess& access, quint32 id, DeviceControl* control)
{
    v4l2_query_ext_ctrl query;
    std::memset(&query, 0, sizeof query);
    query.id = id;
    return access.queryExtControl(&query) >= 0 && query.id == id &&
           fromQuery(access, query, control);
}

int DeviceControls::read(const ControlAccess& access, quint32 id, qint32* value)
{
    v4l2_control control;
    std::memset(&control, 0, sizeof control);
    control.id = id;
    const int result = access.getControl(&control);
    if (result >= 0) {
        *value = control.value;
    }
    return result;
}

int DeviceControls::write(const ControlAccess& access, quint32 id, qint32 value)
{
    v4l2_control control;
    std::memset(&control, 0, sizeof control);
    control.id = id;
    control.value = value;
    return access.setControl(&control);
}
