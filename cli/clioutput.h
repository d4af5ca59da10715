#pragma once

#include <QJsonObject>
#include <QString>

// Exit status of every command.
enum ExitCode
{
    ExitSuccess = 0,
    ExitRefused = 1,       // no such camera or control, a value refused
    ExitFailure = 2,       // the device or a library failed
    ExitUsage = 64,        // the command line itself is wrong
    ExitInterrupted = 130, // Ctrl-C or SIGTERM cut the work short
};

// Where a command's results and errors go: plain lines on standard output
// and one sentence per error on standard error, or, with --json, one JSON
// document on standard output at the end.
class CliOutput
{
public:
    explicit CliOutput(bool json) : m_json(json) {}

    bool json() const { return m_json; }

    // A line for a person; dropped with --json.
    void line(const QString& text) const;
    // Progress on standard error, so that standard output stays clean.
    void progress(const QString& text, bool sameLine = false) const;
    // Ends the line on which a terminal echoed ^C, so that what follows
    // starts a line of its own.
    void afterInterruptEcho() const;
    // Records an error (the first one decides the exit status) and tells
    // it on standard error at once.
    int error(int code, const QString& sentence);
    // The exit status of the first error so far; 0 when none.
    int status() const { return m_firstErrorCode; }
    QString firstError() const { return m_firstError; }

    // The JSON document printed at the end (with --json).
    QJsonObject document;

    // Prints the document (with --json) and returns the exit status.
    int finish(int status);

private:
    bool m_json;
    int m_firstErrorCode = ExitSuccess;
    QString m_firstError;
};
