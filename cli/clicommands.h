#pragma once

#include <QStringList>

class CliOutput;

// The commands of lumora-ctl. Each takes its arguments without the command
// name and returns the exit status; results and errors go through `out`.
namespace CliCommands {

int list(const QStringList& args, CliOutput& out);
int controls(const QStringList& args, CliOutput& out);
int get(const QStringList& args, CliOutput& out);
int set(const QStringList& args, CliOutput& out);
int snapshot(const QStringList& args, CliOutput& out);
int record(const QStringList& args, CliOutput& out);
int upgrade(const QStringList& args, CliOutput& out);
int profile(const QStringList& args, CliOutput& out);
int preset(const QStringList& args, CliOutput& out);
int frame(const QStringList& args, CliOutput& out);
int agent(const QStringList& args, CliOutput& out);

} // namespace CliCommands
