#include "clioutput.h"

#include <QJsonDocument>

#include <cstdio>
#include <unistd.h>

void CliOutput::line(const QString& text) const
{
    if (!m_json) {
        std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
        std::fflush(stdout);
    }
}

void CliOutput::progress(const QString& text, bool sameLine) const
{
    std::fprintf(stderr, sameLine ? "\r%s" : "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void CliOutput::afterInterruptEcho() const
{
    if (::isatty(fileno(stderr)) == 1) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
}

int CliOutput::error(int code, const QString& sentence)
{
    if (m_firstErrorCode == ExitSuccess) {
        m_firstErrorCode = code;
        m_firstError = sentence;
    }
    std::fprintf(stderr, "lumora-ctl: %s\n", sentence.toLocal8Bit().constData());
    std::fflush(stderr);
    return code;
}

int CliOutput::finish(int status)
{
    if (status == ExitSuccess) {
        status = m_firstErrorCode;
    }
    if (m_json) {
        QJsonObject out = document;
        out.insert(QStringLiteral("exitCode"), status);
        if (!m_firstError.isEmpty()) {
            out.insert(QStringLiteral("error"), m_firstError);
        }
        std::fprintf(stdout, "%s", QJsonDocument(out).toJson(QJsonDocument::Indented).constData());
        std::fflush(stdout);
    }
    return status;
}
