#include "controlvalue.h"

#include <QVariant>

#include <cmath>
#include <limits>

using Kind = ControlDescriptor::Kind;

namespace {

QString shown(const QJsonValue& value)
{
    return value.isString() ? value.toString() : value.toVariant().toString();
}

} // namespace

QJsonValue ControlValue::parse(const ControlDescriptor& control, const QJsonValue& value,
                               QString* problem)
{
    problem->clear();
    const QString text = value.isString() ? value.toString().trimmed().toLower() : QString();
    switch (control.kind) {
    case Kind::Text:
        break;
    case Kind::Action:
        if (value.isNull() || value.isUndefined() || text.isEmpty() || text == QLatin1String("1") ||
            value.toBool()) {
            return QJsonValue(true);
        }
        *problem = QStringLiteral("%1 takes no value; write \"%1\" alone").arg(control.name);
        return QJsonValue();
    case Kind::Switch: {
        if (value.isBool()) {
            return value;
        }
        if (text == QLatin1String("on") || text == QLatin1String("1") ||
            text == QLatin1String("true")) {
            return QJsonValue(true);
        }
        if (text == QLatin1String("off") || text == QLatin1String("0") ||
            text == QLatin1String("false")) {
            return QJsonValue(false);
        }
        if (value.isDouble() && (value.toDouble() == 0 || value.toDouble() == 1)) {
            return QJsonValue(value.toDouble() == 1);
        }
        *problem = QStringLiteral("%1 is on or off, not \"%2\"").arg(control.name, shown(value));
        return QJsonValue();
    }
    case Kind::Choice:
        if (control.choices.contains(text)) {
            return QJsonValue(text);
        }
        *problem = QStringLiteral("%1 is one of %2, not \"%3\"")
                       .arg(control.name, control.rangeText(), shown(value));
        return QJsonValue();
    case Kind::Number:
    case Kind::Motion: {
        bool ok = false;
        int number = 0;
        if (control.automatic && text == QLatin1String("auto")) {
            return QJsonValue(0);
        }
        if (value.isDouble()) {
            // Converted only when an int holds it: 1e12 or -9e33 in a
            // document is refused, not turned into some other number.
            const double d = value.toDouble();
            ok = d >= std::numeric_limits<int>::min() && d <= std::numeric_limits<int>::max() &&
                 d == std::trunc(d);
            number = ok ? int(d) : 0;
        } else {
            number = text.toInt(&ok);
        }
        if (!ok) {
            *problem = QStringLiteral("%1 takes a whole number in %2, not \"%3\"")
                           .arg(control.name, control.rangeText(), shown(value));
            return QJsonValue();
        }
        if (number < control.minimum || number > control.maximum) {
            *problem =
                QStringLiteral("%1 must be %2in %3..%4; %5 is out of range")
                    .arg(control.name, control.automatic ? QStringLiteral("auto or ") : QString())
                    .arg(control.minimum)
                    .arg(control.maximum)
                    .arg(number);
            return QJsonValue();
        }
        return QJsonValue(number);
    }
    }
    *problem = QStringLiteral("%1 is read-only").arg(control.name);
    return QJsonValue();
}
