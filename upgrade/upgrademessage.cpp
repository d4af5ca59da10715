#include "upgrademessage.h"

#include <QRegularExpression>

bool isSendFileMessage(const QString& message)
{
    return message.contains(QLatin1String("send file"));
}

bool isFlashWriteMessage(const QString& message)
{
    return message.contains(QLatin1String("flash write"));
}

bool isExitMessage(const QString& message)
{
    return message.contains(QLatin1String("exit"));
}

bool isFailureMessage(const QString& message)
{
    static const QRegularExpression failure(QStringLiteral("^\\W*(error|failed|failure|fatal)\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    return failure.match(message).hasMatch();
}

QString firstNumber(const QString& message)
{
    static const QRegularExpression number(QStringLiteral("\\d+\\.?\\d*"));
    return number.match(message).captured(0);
}

int sendFilePercent(const QString& number)
{
    return number.toInt();
}

float flashWritePercent(const QString& number)
{
    return number.toFloat();
}
