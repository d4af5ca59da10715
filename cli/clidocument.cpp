#include "clidocument.h"

#include <QJsonArray>
#include <QJsonDocument>

bool readControlsDocument(const QByteArray& text, QList<SourceCamera>* sources,
                          QStringList* unknown)
{
    QJsonParseError parseError;
    const QJsonObject document = QJsonDocument::fromJson(text, &parseError).object();
    QJsonArray cameras = document.value(QStringLiteral("cameras")).toArray();
    if (cameras.isEmpty() && document.contains(QStringLiteral("controls"))) {
        cameras.append(document);
    }
    for (const QJsonValue& entry : cameras) {
        const QJsonObject camera = entry.toObject();
        SourceCamera source;
        source.index = camera.value(QStringLiteral("index")).toInt(-1);
        source.device = camera.value(QStringLiteral("device")).toString();
        source.description = camera.value(QStringLiteral("description")).toString();
        source.controls = camera.value(QStringLiteral("controls")).toObject();
        for (const QString& key : source.controls.keys()) {
            if (!ControlCatalogue::find(key) && !unknown->contains(key)) {
                *unknown << key;
            }
        }
        if (!source.controls.isEmpty()) {
            sources->append(source);
        }
    }
    return parseError.error == QJsonParseError::NoError;
}

QList<Assignment> assignmentsOf(const QJsonObject& controls)
{
    QList<Assignment> result;
    for (const ControlDescriptor& known : ControlCatalogue::controls()) {
        if (known.writable && known.readable && controls.contains(known.name) &&
            !controls.value(known.name).isNull()) {
            result.append({ControlCatalogue::find(known.name), controls.value(known.name)});
        }
    }
    return result;
}
