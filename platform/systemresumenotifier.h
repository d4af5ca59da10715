#pragma once

#include "lumora_platform_export.h"

#include <QObject>

// Tells when the machine has woken from suspend, when cameras come back
// from their own power loss with their own values. Linux asks logind on
// the system bus; where the system tells nothing here, it never signals.
class LUMORA_PLATFORM_EXPORT SystemResumeNotifier : public QObject
{
    Q_OBJECT
public:
    static SystemResumeNotifier* create(QObject* parent = nullptr);

    explicit SystemResumeNotifier(QObject* parent = nullptr) : QObject(parent) {}

    // Whether anything will ever be told, and by what.
    virtual bool isWatching() const { return false; }
    virtual QString teller() const { return QStringLiteral("not told here"); }

signals:
    void resumed();
};
