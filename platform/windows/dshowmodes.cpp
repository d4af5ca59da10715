#include "dshowmodes.h"

#include "dshowoptionlisting.h"
#include "dshowsource.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <QHash>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

// The dshow input has no other way to tell its options than its log: while
// one listing runs, what it logs for its own context is kept, and every
// other line goes where it would have gone.
std::mutex listingMutex; // one listing at a time, and the kept ones
std::mutex textMutex;
const void* listingContext = nullptr;
QByteArray listingText;

void collectLog(void* context, int level, const char* format, va_list arguments)
{
    {
        std::lock_guard<std::mutex> lock(textMutex);
        if (context && context == listingContext && level <= AV_LOG_INFO) {
            char text[1024];
            const int length = std::vsnprintf(text, sizeof text, format, arguments);
            if (length > 0) {
                listingText.append(text, std::min<int>(length, int(sizeof text) - 1));
            }
            return;
        }
    }
    av_log_default_callback(context, level, format, arguments);
}

QByteArray listOptions(const QString& deviceName)
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        avdevice_register_all();
        av_log_set_callback(&collectLog);
    });
    const AVInputFormat* dshow = av_find_input_format("dshow");
    AVFormatContext* input = dshow ? avformat_alloc_context() : nullptr;
    if (!input) {
        return {};
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "list_options", "true", 0);
    {
        std::lock_guard<std::mutex> lock(textMutex);
        listingContext = input;
        listingText.clear();
    }
    // The input lists and then refuses to open (AVERROR_EXIT), freeing the
    // context; should it ever open, it is closed at once.
    if (avformat_open_input(&input, DshowSource::inputUrl(deviceName).toUtf8().constData(), dshow,
                            &options) >= 0) {
        avformat_close_input(&input);
    }
    av_dict_free(&options);
    std::lock_guard<std::mutex> lock(textMutex);
    listingContext = nullptr;
    return std::move(listingText);
}

struct KeptListing
{
    QList<CaptureMode> modes;
    quint64 finished = 0; // the listing's number in this process
};
QHash<QString, KeptListing> kept;     // under listingMutex
std::atomic<quint64> listingsMade{0}; // numbers the listings

// With listingMutex held.
const QList<CaptureMode>& listAndKeep(const QString& deviceName)
{
    KeptListing& listing = kept[deviceName];
    listing.modes = DshowOptionListing::modes(listOptions(deviceName));
    listing.finished = ++listingsMade;
    return listing.modes;
}

} // namespace

QList<CaptureMode> dshowCaptureModes(const QString& deviceName)
{
    const quint64 asked = listingsMade;
    std::lock_guard<std::mutex> lock(listingMutex);
    const auto it = kept.constFind(deviceName);
    if (it != kept.constEnd() && it->finished > asked) {
        return it->modes;
    }
    return listAndKeep(deviceName);
}

QList<CaptureMode> dshowKnownCaptureModes(const QString& deviceName)
{
    std::lock_guard<std::mutex> lock(listingMutex);
    const auto it = kept.constFind(deviceName);
    if (it != kept.constEnd() && !it->modes.isEmpty()) {
        return it->modes;
    }
    return listAndKeep(deviceName);
}

int dshowModeListings()
{
    return int(listingsMade);
}
