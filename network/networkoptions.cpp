#include "networkoptions.h"

#include <QSettings>

namespace {

const char* const kViscaEnabled = "network/viscaEnabled";
const char* const kViscaAddress = "network/viscaAddress";
const char* const kViscaAllow = "network/viscaAllow";
const char* const kHttpEnabled = "network/httpEnabled";
const char* const kHttpAddress = "network/httpAddress";

} // namespace

bool NetworkOptions::parseHttpAddress(const QString& text, QString* address, quint16* port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (colon < 1 || !ok || number == 0 || number > 65535) {
        return false;
    }
    *address = text.left(colon);
    *port = quint16(number);
    return true;
}

bool NetworkOptions::fromSettings(NetworkOptions* options, QString* problem)
{
    return fromSettings(QSettings(QStringLiteral("Lumora"), QStringLiteral("Lumora")), options,
                        problem);
}

bool NetworkOptions::fromSettings(const QSettings& settings, NetworkOptions* options,
                                  QString* problem)
{
    // The VISCA values are read as the agent's options would be, so that a
    // setting means what the option of the same text means.
    QStringList visca;
    const QString viscaAddress = settings.value(QLatin1String(kViscaAddress)).toString();
    if (!viscaAddress.isEmpty()) {
        visca << QStringLiteral("--visca=") + viscaAddress;
    }
    const QString allow = settings.value(QLatin1String(kViscaAllow)).toStringList().join(',');
    if (!allow.isEmpty()) {
        visca << QStringLiteral("--visca-allow=") + allow;
    }
    QString why;
    if (!ViscaOptions::take(&visca, &options->visca, &why)) {
        *problem =
            QStringLiteral("the settings' %1 or %2: %3").arg(kViscaAddress, kViscaAllow, why);
        return false;
    }
    options->visca.enabled = settings.value(QLatin1String(kViscaEnabled), false).toBool();
    const QString httpAddress = settings.value(QLatin1String(kHttpAddress)).toString();
    if (!httpAddress.isEmpty() &&
        !parseHttpAddress(httpAddress, &options->httpAddress, &options->httpPort)) {
        *problem = QStringLiteral("the settings' %1 takes ADDRESS:PORT, as in 127.0.0.1:%2, not "
                                  "\"%3\"")
                       .arg(kHttpAddress)
                       .arg(kDefaultHttpPort)
                       .arg(httpAddress);
        return false;
    }
    options->http = settings.value(QLatin1String(kHttpEnabled), false).toBool();
    return true;
}

bool NetworkOptions::takeHttpOption(QStringList* args, NetworkOptions* options)
{
    const int at = args->indexOf(QStringLiteral("--http"));
    if (at < 0) {
        return true;
    }
    options->http = true;
    args->removeAt(at);
    // What follows --http is its address when it is not an option.
    if (at < args->size() && !args->at(at).startsWith(QLatin1String("--"))) {
        if (!parseHttpAddress(args->at(at), &options->httpAddress, &options->httpPort)) {
            return false;
        }
        args->removeAt(at);
    }
    return true;
}
