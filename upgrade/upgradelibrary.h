#pragma once

#include <QByteArray>
#include <QLibrary>
#include <QString>

#include <memory>

// The upgrade library for one operation. A library of this program's
// bitness is loaded here; a 32-bit one beside the 64-bit program runs in
// the 32-bit relay (lumora-upgrade-relay.exe, in the program's folder),
// which hands back every message and the returned text: to the caller the
// two are alike.

// One call of the entry point: the option count and the four texts.
struct UpgradeCall
{
    int count = 1;
    QByteArray switch1, value1, switch2, value2;
};

// The machine a Windows library file is built for, from its PE header.
enum class LibraryMachine
{
    NotWindows, // no PE image (a Linux library, a missing file)
    X86,
    X64,
    Other
};
LibraryMachine libraryMachine(const QString& path);

class UpgradeLibrary
{
public:
    explicit UpgradeLibrary(const QString& path);
    ~UpgradeLibrary();

    // Loads the library and finds its entry point: empty when it can be
    // called, else the failure to report ("DLL is not loaded!", "Linke to
    // Function is not OK!!!!").
    QString load();
    // Makes the call; messages go out through UpgradeRelay. *returned gets
    // the returned text, decoded as UTF-8. Empty, or why the call did not
    // complete (the relay ended before the library returned).
    QString call(const UpgradeCall& call, QString* returned);
    void unload();

    bool relayed() const { return m_relayed; }

private:
    QString m_path;
    bool m_relayed = false;
    std::unique_ptr<QLibrary> m_library;
};
