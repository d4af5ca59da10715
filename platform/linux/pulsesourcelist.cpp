#include "pulsesourcelist.h"

#include "uvcsysfs.h"

#include <pulse/context.h>
#include <pulse/def.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>

#include <chrono>

namespace {

// Longest wait of the first read: the discovery pass at start-up should
// already see the microphones, but must not stall when the server is slow.
constexpr int kFirstReadWaitMs = 150;

} // namespace

PulseSourceList& PulseSourceList::instance()
{
    static PulseSourceList list;
    return list;
}

PulseSourceList::PulseSourceList()
{
    // The connection is built first and so outlives this list.
    PulseConnection::instance().addListener(this);
}

PulseSourceList::~PulseSourceList()
{
    PulseConnection::instance().removeListener(this);
}

AudioInputList PulseSourceList::sources()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_firstRead) {
        m_firstRead = false;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kFirstReadWaitMs);
        lock.unlock();
        const bool ready = PulseConnection::instance().waitUntilReady(kFirstReadWaitMs);
        lock.lock();
        if (ready) {
            m_known.wait_until(lock, deadline, [this] { return m_listKnown; });
        }
    }
    return m_sources;
}

bool PulseSourceList::waitUntilKnown(int waitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    if (!PulseConnection::instance().waitUntilReady(waitMs)) {
        return false;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_known.wait_until(lock, deadline, [this] { return m_listKnown; });
}

void PulseSourceList::contextReady(pa_context* context)
{
    pa_context_set_subscribe_callback(
        context,
        [](pa_context* c, pa_subscription_event_type_t type, uint32_t index, void* self) {
            onEvent(c, unsigned(type), index, self);
        },
        this);
    if (pa_operation* op =
            pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr)) {
        pa_operation_unref(op);
    }
    m_fetching = false;
    m_stale = false;
    startFetch(context);
}

void PulseSourceList::contextLost()
{
    // Operations of a lost context are cancelled without their callbacks.
    m_fetching = false;
    m_stale = false;
    m_incoming.clear();
    publish({}, false);
}

void PulseSourceList::onEvent(pa_context* context, unsigned type, unsigned, void* self)
{
    auto* list = static_cast<PulseSourceList*>(self);
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SOURCE) {
        return;
    }
    // A burst of events (a module loading several sources) costs one fetch
    // in flight and at most one after it.
    if (list->m_fetching) {
        list->m_stale = true;
        return;
    }
    list->startFetch(context);
}

void PulseSourceList::startFetch(pa_context* context)
{
    m_incoming.clear();
    pa_operation* op = pa_context_get_source_info_list(
        context,
        [](pa_context* c, const pa_source_info* info, int eol, void* self) {
            onSource(c, info, eol, self);
        },
        this);
    m_fetching = op != nullptr;
    if (op) {
        pa_operation_unref(op);
    }
}

void PulseSourceList::onSource(pa_context* context, const pa_source_info* info, int eol, void* self)
{
    auto* list = static_cast<PulseSourceList*>(self);
    if (eol == 0 && info) {
        if (info->monitor_of_sink == PA_INVALID_INDEX) {
            const QString name = QString::fromUtf8(info->name);
            const QString description = info->description && *info->description
                                            ? QString::fromUtf8(info->description)
                                            : name;
            list->m_incoming.insert(
                info->index, AudioInputInfo(description, name,
                                            UvcSysfs::usbDeviceOf(QString::fromUtf8(
                                                pa_proplist_gets(info->proplist, "sysfs.path")))));
        }
        return;
    }
    list->m_fetching = false;
    if (eol > 0) {
        // QMap keeps the server's order: by index.
        list->publish(list->m_incoming.values(), true);
    }
    list->m_incoming.clear();
    if (list->m_stale) {
        list->m_stale = false;
        list->startFetch(context);
    }
}

void PulseSourceList::publish(const AudioInputList& sources, bool known)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sources = sources;
    m_listKnown = known;
    m_known.notify_all();
}
