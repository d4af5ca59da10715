#pragma once

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

// Records the debug lines the program writes while it is alive, so tests
// can check them. One at a time per process.
class LogCapture
{
public:
    LogCapture() { s_active = this, s_previous = qInstallMessageHandler(&LogCapture::handle); }
    ~LogCapture() { qInstallMessageHandler(s_previous), s_active = nullptr; }

    QStringList lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_lines.clear();
    }
    int count(const QString& line) const { return lines().count(line); }
    bool contains(const QString& part) const { return !lines().filter(part).isEmpty(); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (LogCapture* self = s_active) {
            QMutexLocker lock(&self->m_mutex);
            self->m_lines.append(message);
        }
        if (s_previous && type != QtDebugMsg) {
            s_previous(type, context, message);
        }
    }

    mutable QMutex m_mutex;
    QStringList m_lines;
    static inline LogCapture* s_active = nullptr;
    static inline QtMessageHandler s_previous = nullptr;
};
