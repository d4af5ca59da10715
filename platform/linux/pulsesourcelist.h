#pragma once

#include "audioinputinfo.h"
#include "lumora_platform_export.h"
#include "pulseconnection.h"

#include <QMap>

#include <condition_variable>
#include <mutex>

struct pa_source_info;

// The PulseAudio sources that are real inputs (monitors of sinks left
// out), kept up to date in the background from the server's change events,
// so that reading the list never waits for the server. With no server (or a
// dead one) the list is empty.
class LUMORA_PLATFORM_EXPORT PulseSourceList : public PulseConnectionListener
{
public:
    static PulseSourceList& instance();
    ~PulseSourceList() override;

    // In the server's order. Only the very first call may wait (briefly) for
    // the server's first answer.
    AudioInputList sources();
    // Waits, at most waitMs, for the server's first list; false when there
    // is no server or it did not answer in time.
    bool waitUntilKnown(int waitMs);

private:
    PulseSourceList();

    void contextReady(pa_context* context) override;
    void contextLost() override;

    static void onEvent(pa_context* context, unsigned type, unsigned index, void* self);
    static void onSource(pa_context* context, const pa_source_info* info, int eol, void* self);
    void startFetch(pa_context* context);
    void publish(const AudioInputList& list, bool known);

    // Loop thread only.
    bool m_fetching = false;
    bool m_stale = false;
    QMap<quint32, AudioInputInfo> m_incoming;

    std::mutex m_mutex;
    std::condition_variable m_known;
    AudioInputList m_sources;
    bool m_listKnown = false;
    bool m_firstRead = true;
};
