#include "portalkeygrabber.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
// A portal that is there answers at once; the bus may first have to start it.
constexpr int kProbeMs = 10000;

// One shortcut as the portal takes and gives them: its name and a vardict
// ("description", "preferred_trigger"; back: "trigger_description").
struct PortalShortcut
{
    QString name;
    QVariantMap options;
};

QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& shortcut)
{
    out.beginStructure();
    out << shortcut.name << shortcut.options;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& shortcut)
{
    in.beginStructure();
    in >> shortcut.name >> shortcut.options;
    in.endStructure();
    return in;
}

// Key names as the desktop's keyboard map (xkb) has them.
const struct
{
    int qtKey;
    const char* name;
} kKeyNames[] = {
    {Qt::Key_Left, "Left"},     {Qt::Key_Right, "Right"},    {Qt::Key_Up, "Up"},
    {Qt::Key_Down, "Down"},     {Qt::Key_PageUp, "Page_Up"}, {Qt::Key_PageDown, "Page_Down"},
    {Qt::Key_Home, "Home"},     {Qt::Key_End, "End"},        {Qt::Key_Insert, "Insert"},
    {Qt::Key_Delete, "Delete"}, {Qt::Key_Escape, "Escape"},  {Qt::Key_Tab, "Tab"},
    {Qt::Key_Return, "Return"}, {Qt::Key_Enter, "KP_Enter"}, {Qt::Key_Backspace, "BackSpace"},
    {Qt::Key_Pause, "Pause"},   {Qt::Key_Print, "Print"},    {Qt::Key_Space, "space"},
    {Qt::Key_Plus, "plus"},     {Qt::Key_Minus, "minus"},    {Qt::Key_Equal, "equal"},
    {Qt::Key_Comma, "comma"},   {Qt::Key_Period, "period"},  {Qt::Key_Slash, "slash"},
};

QString keyName(int key)
{
    for (const auto& entry : kKeyNames) {
        if (entry.qtKey == key) {
            return QLatin1String(entry.name);
        }
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    }
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        return QString(QChar(key)).toLower();
    }
    return QString();
}

int s_connections = 0;

// The portal names the program to the user (and keeps its shortcuts) by
// its desktop file, which a program the desktop did not start in a unit
// of its own has to tell. Before any other call to the portal, once per
// connection; a portal older than the registry has none, which is no
// reason to go without the keys.
void registerApp(QDBusConnection& bus)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
        QStringLiteral("Register"));
    call << QStringLiteral("org.lumora.Lumora") << QVariantMap();
    if (bus.isConnected()) {
        bus.call(call, QDBus::Block, kProbeMs);
    }
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

QString PortalKeyGrabber::triggerText(const QKeySequence& keys)
{
    const int combined = keys.isEmpty() ? 0 : keys[0];
    const QString key = keyName(combined & ~Qt::KeyboardModifierMask);
    if (key.isEmpty()) {
        return key;
    }
    QStringList parts;
    const struct
    {
        Qt::KeyboardModifier modifier;
        const char* name;
    } modifiers[] = {{Qt::ShiftModifier, "SHIFT"},
                     {Qt::ControlModifier, "CTRL"},
                     {Qt::AltModifier, "ALT"},
                     {Qt::MetaModifier, "LOGO"}};
    for (const auto& entry : modifiers) {
        if (combined & entry.modifier) {
            parts << QLatin1String(entry.name);
        }
    }
    return (parts << key).join(QLatin1Char('+'));
}

PortalKeyGrabber* PortalKeyGrabber::connect(QObject* parent, QString* why)
{
    // A connection of its own to the bus named now, not Qt's shared one,
    // which keeps whichever bus it first found.
    const QString name = QStringLiteral("lumora-call-keys-%1").arg(++s_connections);
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    QDBusConnection bus = address.isEmpty()
                              ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                              : QDBusConnection::connectToBus(address, name);
    registerApp(bus);
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kShortcuts << QStringLiteral("version");
    const QDBusMessage reply =
        bus.isConnected() ? bus.call(get, QDBus::Block, kProbeMs) : QDBusMessage();
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qInfo().noquote() << "keys during calls: no global shortcuts portal:"
                          << (bus.isConnected() ? reply.errorMessage() : bus.lastError().message());
        *why = tr("the desktop offers no global shortcuts portal");
        QDBusConnection::disconnectFromBus(name);
        return nullptr;
    }
    qInfo().noquote() << "keys during calls: the desktop portal's global shortcuts, version"
                      << reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
    return new PortalKeyGrabber(bus, name, parent);
}

PortalKeyGrabber::PortalKeyGrabber(const QDBusConnection& bus, const QString& connectionName,
                                   QObject* parent)
    : GlobalKeyGrabber(parent), m_bus(bus), m_connectionName(connectionName)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    m_bus.connect(kService, kPath, kShortcuts, QStringLiteral("Activated"), this,
                  SLOT(activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    m_bus.connect(kService, kPath, kShortcuts, QStringLiteral("Deactivated"), this,
                  SLOT(deactivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

PortalKeyGrabber::~PortalKeyGrabber()
{
    releaseAll();
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void PortalKeyGrabber::describe(int id, const QString& name, const QString& label)
{
    m_descriptions.insert(id, {name, label});
}

bool PortalKeyGrabber::grab(int id, const QKeySequence& keys, QString* error)
{
    if (keys.isEmpty()) {
        *error = tr("no key");
        return false;
    }
    const auto description = m_descriptions.value(
        id, {QStringLiteral("key%1").arg(id), keys.toString(QKeySequence::NativeText)});
    // A key the portal has no name for is still asked for: the desktop
    // lets the user choose its key.
    m_shortcuts << Shortcut{id, description.first, description.second, triggerText(keys)};
    return true;
}

void PortalKeyGrabber::grabsDone()
{
    if (m_shortcuts.isEmpty() || m_step != Step::Idle) {
        return;
    }
    m_step = Step::CreatingSession;
    const QString token = newToken();
    const QVariantMap options{{QStringLiteral("handle_token"), token},
                              {QStringLiteral("session_handle_token"), newToken()}};
    ask(QStringLiteral("CreateSession"), {options}, token);
}

void PortalKeyGrabber::releaseAll()
{
    // A key held now would leave the camera moving without its release.
    const QSet<int> held = m_held;
    m_held.clear();
    for (int id : held) {
        emit released(id);
    }
    // A question still open may be a dialog on the desktop, which goes too.
    if (!m_request.isEmpty()) {
        m_bus.asyncCall(
            QDBusMessage::createMethodCall(kService, m_request, kRequest, QStringLiteral("Close")));
    }
    watchRequest(QString());
    if (!m_session.isEmpty()) {
        m_bus.disconnect(kService, m_session, kSession, QStringLiteral("Closed"), this,
                         SLOT(sessionClosed(QVariantMap)));
        m_bus.asyncCall(
            QDBusMessage::createMethodCall(kService, m_session, kSession, QStringLiteral("Close")));
        m_session.clear();
    }
    m_shortcuts.clear();
    m_descriptions.clear();
    m_bound.clear();
    m_step = Step::Idle;
}

QString PortalKeyGrabber::newToken()
{
    return QStringLiteral("lumora%1").arg(++m_tokens);
}

// Where the portal puts the Request of a call made with this token.
QString PortalKeyGrabber::requestPath(const QString& token) const
{
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

// Watched before the call goes, so that no answer comes before Lumora
// listens for it.
void PortalKeyGrabber::ask(const QString& method, const QVariantList& arguments,
                           const QString& token)
{
    watchRequest(requestPath(token));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kShortcuts, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    const QString request = m_request;
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     [this, request](QDBusPendingCallWatcher* done) { asked(done, request); });
}

void PortalKeyGrabber::asked(QDBusPendingCallWatcher* call, const QString& request)
{
    call->deleteLater();
    const QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (m_request != request) {
        return; // switched off meanwhile, or answered already
    }
    if (reply.isError()) {
        qWarning().noquote() << "keys during calls: the portal:" << reply.error().message();
        refuseAll(tr("the desktop's portal refused it (%1)").arg(reply.error().message()));
        return;
    }
    // A portal older than the request tokens has its own path for it.
    if (reply.value().path() != m_request) {
        watchRequest(reply.value().path());
    }
}

void PortalKeyGrabber::watchRequest(const QString& path)
{
    const char* slot = SLOT(answered(uint, QVariantMap, QDBusMessage));
    if (!m_request.isEmpty()) {
        m_bus.disconnect(kService, m_request, kRequest, QStringLiteral("Response"), this, slot);
    }
    m_request = path;
    if (!path.isEmpty()) {
        m_bus.connect(kService, path, kRequest, QStringLiteral("Response"), this, slot);
    }
}

void PortalKeyGrabber::answered(uint response, const QVariantMap& results,
                                const QDBusMessage& message)
{
    if (message.path() != m_request) {
        return;
    }
    watchRequest(QString());
    if (response != 0) {
        refuseAll(response == 1 ? tr("not allowed in the desktop's dialog")
                                : tr("the desktop's portal refused it"));
        return;
    }
    if (m_step == Step::CreatingSession) {
        sessionCreated(results);
    } else if (m_step == Step::Binding) {
        shortcutsBound(results);
    }
}

void PortalKeyGrabber::sessionCreated(const QVariantMap& results)
{
    // A string, though it names an object; taken either way.
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    m_session = handle.userType() == qMetaTypeId<QDBusObjectPath>()
                    ? handle.value<QDBusObjectPath>().path()
                    : handle.toString();
    if (m_session.isEmpty()) {
        refuseAll(tr("the desktop's portal gave no shortcuts session"));
        return;
    }
    m_bus.connect(kService, m_session, kSession, QStringLiteral("Closed"), this,
                  SLOT(sessionClosed(QVariantMap)));
    QList<PortalShortcut> shortcuts;
    for (const Shortcut& shortcut : qAsConst(m_shortcuts)) {
        QVariantMap options{{QStringLiteral("description"), shortcut.label}};
        if (!shortcut.trigger.isEmpty()) {
            options.insert(QStringLiteral("preferred_trigger"), shortcut.trigger);
        }
        shortcuts << PortalShortcut{shortcut.name, options};
    }
    m_step = Step::Binding;
    const QString token = newToken();
    ask(QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString(),
         QVariantMap{{QStringLiteral("handle_token"), token}}},
        token);
}

void PortalKeyGrabber::shortcutsBound(const QVariantMap& results)
{
    m_step = Step::Bound;
    const auto bound =
        qdbus_cast<QList<PortalShortcut>>(results.value(QStringLiteral("shortcuts")));
    QStringList told;
    for (const PortalShortcut& shortcut : bound) {
        const QString keys =
            shortcut.options.value(QStringLiteral("trigger_description")).toString();
        if (const Shortcut* ours = shortcutNamed(shortcut.name)) {
            m_bound.insert(ours->id, keys);
        }
        told << shortcut.name + QLatin1Char(' ') + keys;
    }
    qInfo().noquote() << "keys during calls: the desktop bound" << told.join(QStringLiteral(", "));
    QMap<int, QString> errors;
    for (const Shortcut& shortcut : qAsConst(m_shortcuts)) {
        if (!m_bound.contains(shortcut.id)) {
            errors.insert(shortcut.id, tr("the desktop did not bind it"));
        }
    }
    if (!errors.isEmpty()) {
        emit refused(errors);
    }
}

void PortalKeyGrabber::refuseAll(const QString& error)
{
    QMap<int, QString> errors;
    for (const Shortcut& shortcut : qAsConst(m_shortcuts)) {
        errors.insert(shortcut.id, error);
    }
    releaseAll();
    emit refused(errors);
}

void PortalKeyGrabber::sessionClosed(const QVariantMap&)
{
    m_bus.disconnect(kService, m_session, kSession, QStringLiteral("Closed"), this,
                     SLOT(sessionClosed(QVariantMap)));
    m_session.clear(); // nothing left to close
    refuseAll(tr("the desktop ended its shortcuts session"));
}

const PortalKeyGrabber::Shortcut* PortalKeyGrabber::shortcutNamed(const QString& name) const
{
    for (const Shortcut& shortcut : m_shortcuts) {
        if (shortcut.name == name) {
            return &shortcut;
        }
    }
    return nullptr;
}

// The portal tells of a shortcut held down once, and of its release once.
void PortalKeyGrabber::activated(const QDBusObjectPath& session, const QString& shortcut,
                                 qulonglong, const QVariantMap&)
{
    const Shortcut* found = shortcutNamed(shortcut);
    if (session.path() != m_session || m_step != Step::Bound || !found ||
        m_held.contains(found->id)) {
        return;
    }
    m_held.insert(found->id);
    emit pressed(found->id);
}

void PortalKeyGrabber::deactivated(const QDBusObjectPath& session, const QString& shortcut,
                                   qulonglong, const QVariantMap&)
{
    const Shortcut* found = shortcutNamed(shortcut);
    if (session.path() == m_session && found && m_held.remove(found->id)) {
        emit released(found->id);
    }
}
