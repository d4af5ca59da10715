#include "metricstext.h"

void MetricsText::family(const QString& name, const char* type, const QString& help)
{
    // HELP text escapes backslash and line feed only.
    QString escaped = help;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
    m_text += "# HELP " + name.toUtf8() + ' ' + escaped.toUtf8() + '\n';
    m_text += "# TYPE " + name.toUtf8() + ' ' + type + '\n';
}

void MetricsText::sample(const QString& name, const Labels& labels, double value)
{
    QStringList pairs;
    for (const auto& label : labels) {
        pairs << label.first + QStringLiteral("=\"") + escapeLabel(label.second) + QLatin1Char('"');
    }
    m_text += name.toUtf8();
    if (!pairs.isEmpty()) {
        m_text += '{' + pairs.join(QLatin1Char(',')).toUtf8() + '}';
    }
    m_text += ' ' + QByteArray::number(value, 'g', 17) + '\n';
}

QString MetricsText::escapeLabel(const QString& value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return escaped;
}
