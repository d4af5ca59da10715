#pragma once

#include <QString>

// The one text of lumora-ctl's documentation: --help, COMMAND --help and
// the man page are all printed from it.

// Known command names: list, controls, get, set, snapshot, record, upgrade.
bool isCommand(const QString& name);

QString generalHelp();
QString commandHelp(const QString& command);
// The man page in roff, built from the same text.
QString manPage();
