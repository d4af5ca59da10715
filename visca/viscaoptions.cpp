#include "viscaoptions.h"

namespace {

bool parseAddressAndPort(const QString& text, QHostAddress* address, quint16* port)
{
    // An IPv6 address with a port comes in brackets: [::1]:52381; without
    // them, every colon is the address's own.
    const bool bareIpv6 = text.count(QLatin1Char(':')) > 1 && !text.startsWith(QLatin1Char('['));
    const int colon = bareIpv6 ? -1 : text.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? text : text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    }
    bool numeric = true;
    const uint number =
        colon < 0 ? ViscaOptions::kDefaultPort : text.mid(colon + 1).toUInt(&numeric);
    if (!numeric || number == 0 || number + ViscaOptions::kTcpOffset > 65535 ||
        !address->setAddress(host)) {
        return false;
    }
    *port = quint16(number);
    return true;
}

} // namespace

bool ViscaOptions::take(QStringList* args, ViscaOptions* options, QString* problem)
{
    for (int i = args->size() - 1; i >= 0; --i) {
        const QString arg = args->at(i);
        if (arg == QLatin1String("--visca")) {
            options->enabled = true;
        } else if (arg.startsWith(QLatin1String("--visca="))) {
            options->enabled = true;
            if (!parseAddressAndPort(arg.mid(8), &options->address, &options->port)) {
                *problem = QStringLiteral("--visca takes ADDRESS:PORT, as in 127.0.0.1:%1, not "
                                          "\"%2\"")
                               .arg(kDefaultPort)
                               .arg(arg.mid(8));
                return false;
            }
        } else if (arg.startsWith(QLatin1String("--visca-allow="))) {
            options->allowed.clear();
            for (const QString& text : arg.mid(14).split(QLatin1Char(','))) {
                QHostAddress address;
                if (!address.setAddress(text.trimmed())) {
                    *problem = QStringLiteral("--visca-allow takes client addresses separated by "
                                              "commas; \"%1\" is not one")
                                   .arg(text);
                    return false;
                }
                options->allowed.append(address);
            }
        } else {
            continue;
        }
        args->removeAt(i);
    }
    return true;
}
