#pragma once

#include "globalkeygrabber.h"

#include <QDBusConnection>
#include <QHash>
#include <QSet>
#include <QVariantMap>
#include <QVector>

class QDBusMessage;
class QDBusObjectPath;
class QDBusPendingCallWatcher;

// Keys through the desktop portal's global shortcuts, where a Wayland
// desktop binds them for Lumora: each key is a shortcut named after its
// binding, with the key asked for as its preferred trigger; the desktop
// may let the user confirm or change them first. Every switch-on is a
// session of its own, closed by releaseAll(), since a session binds its
// shortcuts once.
class PortalKeyGrabber : public GlobalKeyGrabber
{
    Q_OBJECT
public:
    // The grabber on the session bus's portal; null, with why for the
    // user, where the bus has none that offers global shortcuts.
    static PortalKeyGrabber* connect(QObject* parent, QString* why);
    ~PortalKeyGrabber() override;

    bool grab(int id, const QKeySequence& keys, QString* error) override;
    void releaseAll() override;
    void describe(int id, const QString& name, const QString& label) override;
    void grabsDone() override;
    QString boundKeys(int id) const override { return m_bound.value(id); }

    // The portal's text of a key: "CTRL+ALT+1", "CTRL+ALT+Page_Up"; empty
    // for a key it has no name for.
    static QString triggerText(const QKeySequence& keys);

private slots:
    void answered(uint response, const QVariantMap& results, const QDBusMessage& message);
    void activated(const QDBusObjectPath& session, const QString& shortcut, qulonglong time,
                   const QVariantMap& options);
    void deactivated(const QDBusObjectPath& session, const QString& shortcut, qulonglong time,
                     const QVariantMap& options);
    void sessionClosed(const QVariantMap& details);

private:
    struct Shortcut
    {
        int id;
        QString name;
        QString label;
        QString trigger;
    };
    enum class Step
    {
        Idle,
        CreatingSession,
        Binding,
        Bound
    };

    PortalKeyGrabber(const QDBusConnection& bus, const QString& connectionName, QObject* parent);
    QString newToken();
    QString requestPath(const QString& token) const;
    void ask(const QString& method, const QVariantList& arguments, const QString& token);
    void asked(QDBusPendingCallWatcher* call, const QString& request);
    void watchRequest(const QString& path);
    void sessionCreated(const QVariantMap& results);
    void shortcutsBound(const QVariantMap& results);
    void refuseAll(const QString& error);
    const Shortcut* shortcutNamed(const QString& name) const;

    QDBusConnection m_bus;
    QString m_connectionName;
    QHash<int, QPair<QString, QString>> m_descriptions; // id: name, label
    QVector<Shortcut> m_shortcuts;
    Step m_step = Step::Idle;
    QString m_request; // the path of the Request the portal is to answer
    QString m_session;
    QSet<int> m_held;
    QHash<int, QString> m_bound; // the desktop's words for the keys of each
    int m_tokens = 0;
};
