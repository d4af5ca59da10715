#pragma once

#include <QString>

struct UpgradeCall;

// The program's side of the 32-bit upgrade relay (relay/relayprotocol.h).
// Each function starts the relay once and waits for its end; there is no
// time-out, as there is none for a call in this process.

enum class RelayOutcome
{
    Called, // probed: the library loads and has its entry point
    NotLoaded,
    NoEntryPoint,
    NotStarted, // the relay itself is missing or cannot run
    Broken      // the relay ended without finishing (killed, crashed)
};

// The relay program beside this one.
QString upgradeRelayProgram();

// Loads the library in the relay and looks for its entry point, no call.
RelayOutcome probeThroughRelay(const QString& library);

struct RelayedResult
{
    QString returned; // the returned text, decoded as UTF-8
    QString failure;  // empty when the library returned
};

// Makes the call in the relay. Every message is sent through UpgradeRelay
// as it arrives, decoded as the in-process callback decodes it.
RelayedResult callThroughRelay(const QString& library, const UpgradeCall& call);
