#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// A page in Prometheus' text exposition format 0.0.4: each family's HELP
// and TYPE lines, then its samples.
class MetricsText
{
public:
    using Labels = QList<QPair<QString, QString>>;

    void family(const QString& name, const char* type, const QString& help);
    void sample(const QString& name, const Labels& labels, double value);
    QByteArray text() const { return m_text; }

    // Backslash, double quote and line feed escaped, as label values need.
    static QString escapeLabel(const QString& value);

private:
    QByteArray m_text;
};
