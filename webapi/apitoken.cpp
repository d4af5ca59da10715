#include "apitoken.h"

#include <QCryptographicHash>
#include <QFile>
#include <QList>
#include <QRandomGenerator>
#include <QSettings>

namespace {
constexpr int kTokenBytes = 32;
const char* const kSetting = "agent/apiToken";
} // namespace

QByteArray ApiToken::current()
{
    const QByteArray given = qgetenv("LUMORA_API_TOKEN");
    if (!given.isEmpty()) {
        return given;
    }
    QSettings settings(QStringLiteral("Lumora"), QStringLiteral("Lumora"));
    QByteArray token = settings.value(QLatin1String(kSetting)).toByteArray();
    if (token.size() < kTokenBytes) {
        // QRandomGenerator::system() draws from the operating system's
        // cryptographic source, never a seeded generator.
        QByteArray bytes(kTokenBytes, Qt::Uninitialized);
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                              kTokenBytes / int(sizeof(quint32)));
        token = bytes.toHex();
        settings.setValue(QLatin1String(kSetting), token);
        settings.sync();
    }
    // The token opens the cameras to whoever holds it: the file keeping it
    // is the user's alone, whatever the umask made it.
    QFile::setPermissions(settings.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return token;
}

bool ApiToken::accepts(const QByteArray& token, const QByteArray& given)
{
    static const QByteArray scheme = "Bearer ";
    if (token.isEmpty() || !given.startsWith(scheme)) {
        return false;
    }
    // Hashed first, so that both sides have the same length whatever was sent.
    const QByteArray a = QCryptographicHash::hash(token, QCryptographicHash::Sha256);
    const QByteArray b =
        QCryptographicHash::hash(given.mid(scheme.size()).trimmed(), QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (int i = 0; i < a.size(); ++i) {
        difference |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    }
    return difference == 0;
}

QByteArray ApiToken::fromSubprotocols(const QByteArray& offered)
{
    static const QByteArray prefix = "bearer.";
    const QList<QByteArray> names = offered.split(',');
    for (const QByteArray& name : names) {
        const QByteArray trimmed = name.trimmed();
        if (trimmed.startsWith(prefix)) {
            return "Bearer " + trimmed.mid(prefix.size());
        }
    }
    return {};
}
