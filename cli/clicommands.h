#pragma once

#include <QByteArray>
#include <QStringList>

class CliOutput;

// The commands of lumora-ctl. Each takes its arguments without the command
// name and returns the exit status; results and errors go through `out`.
namespace CliCommands {

int list(const QStringList& args, CliOutput& out);
int controls(const QStringList& args, CliOutput& out);
int get(const QStringList& args, CliOutput& out);
int set(const QStringList& args, CliOutput& out);
// set CAMERA --from NAME with the document's text given (the HTTP API's
// body); NAME only names it in messages.
int setFromText(const QStringList& args, const QByteArray& document, CliOutput& out);
// Both of the above: the document read from the file when none is given.
int setFrom(const QStringList& args, const QByteArray* document, CliOutput& out);
int snapshot(const QStringList& args, CliOutput& out);
int record(const QStringList& args, CliOutput& out);
int upgrade(const QStringList& args, CliOutput& out);
int profile(const QStringList& args, CliOutput& out);
int preset(const QStringList& args, CliOutput& out);
int frame(const QStringList& args, CliOutput& out);
int modes(const QStringList& args, CliOutput& out);
int agent(const QStringList& args, CliOutput& out);

} // namespace CliCommands
