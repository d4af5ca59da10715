#include "upgradelibrary.h"

#include "relayedcall.h"
#include "upgradebridge.h"
#include "uvc_upgrade.h"

#include <QDebug>
#include <QFile>
#include <QtEndian>

namespace {

const char kNotLoaded[] = "DLL is not loaded!";
const char kNoEntryPoint[] = "Linke to Function is not OK!!!!";

QString returnedText(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// A 32-bit library can only be loaded by a 32-bit process.
bool needsRelay(const QString& path)
{
#if defined(Q_OS_WIN)
    return QT_POINTER_SIZE == 8 && libraryMachine(path) == LibraryMachine::X86;
#else
    Q_UNUSED(path)
    return false;
#endif
}

} // namespace

LibraryMachine libraryMachine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return LibraryMachine::NotWindows;
    }
    // The DOS header names where the PE signature is; the machine follows it.
    const QByteArray dos = file.read(64);
    if (dos.size() < 64 || !dos.startsWith("MZ")) {
        return LibraryMachine::NotWindows;
    }
    const quint32 peOffset = qFromLittleEndian<quint32>(dos.constData() + 0x3c);
    if (!file.seek(peOffset)) {
        return LibraryMachine::NotWindows;
    }
    const QByteArray pe = file.read(6);
    if (pe.size() < 6 || !pe.startsWith(QByteArray("PE\0\0", 4))) {
        return LibraryMachine::NotWindows;
    }
    switch (qFromLittleEndian<quint16>(pe.constData() + 4)) {
    case 0x014c:
        return LibraryMachine::X86;
    case 0x8664:
        return LibraryMachine::X64;
    default:
        return LibraryMachine::Other;
    }
}

UpgradeLibrary::UpgradeLibrary(const QString& path) : m_path(path) {}

UpgradeLibrary::~UpgradeLibrary()
{
    unload();
}

QString UpgradeLibrary::load()
{
    m_relayed = needsRelay(m_path);
    if (m_relayed) {
        switch (probeThroughRelay(m_path)) {
        case RelayOutcome::Called:
            return QString();
        case RelayOutcome::NoEntryPoint:
            return QString::fromLatin1(kNoEntryPoint);
        default:
            return QString::fromLatin1(kNotLoaded);
        }
    }
    m_library = std::make_unique<QLibrary>(m_path);
    if (!m_library->load()) {
        qDebug() << m_library->errorString();
        return QString::fromLatin1(kNotLoaded);
    }
    if (!m_library->resolve("upgrade")) {
        return QString::fromLatin1(kNoEntryPoint);
    }
    return QString();
}

QString UpgradeLibrary::call(const UpgradeCall& call, QString* returned)
{
    if (m_relayed) {
        RelayedResult result = callThroughRelay(m_path, call);
        *returned = result.returned;
        return result.failure;
    }
    const auto entry = reinterpret_cast<UpgradeEntryPoint>(m_library->resolve("upgrade"));
    *returned = returnedText(entry(call.count, call.switch1.constData(), call.value1.constData(),
                                   call.switch2.constData(), call.value2.constData(),
                                   &upgradeMessageCallback));
    return QString();
}

void UpgradeLibrary::unload()
{
    if (m_library && m_library->isLoaded()) {
        m_library->unload();
    }
    m_library.reset();
}
