#include "profiletext.h"

#include <QJsonDocument>
#include <QStringList>

QJsonObject ProfileText::values(const QByteArray& stored)
{
    return QJsonDocument::fromJson(stored).object();
}

QByteArray ProfileText::valuesText(const QJsonObject& values)
{
    return QJsonDocument(values).toJson(QJsonDocument::Compact);
}

bool ProfileText::preset(const QString& stored, PtzPosition* position)
{
    const QStringList parts = stored.split(QLatin1Char(' '));
    bool ok[3] = {};
    if (parts.size() != 3) {
        return false;
    }
    const PtzPosition read{parts[0].toLong(&ok[0]), parts[1].toLong(&ok[1]),
                           parts[2].toLong(&ok[2])};
    if (!(ok[0] && ok[1] && ok[2])) {
        return false;
    }
    *position = read;
    return true;
}

QString ProfileText::presetText(const PtzPosition& position)
{
    return QStringLiteral("%1 %2 %3").arg(position.pan).arg(position.tilt).arg(position.zoom);
}
