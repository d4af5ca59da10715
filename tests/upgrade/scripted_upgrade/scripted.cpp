// An upgrade library that plays back the messages a test gives it and
// records the arguments of every call, so tests see exactly what the
// program passes and how the page reads each message.
#include "uvc_upgrade.h"

#include <mutex>
#include <string>
#include <vector>

namespace {

struct Message
{
    std::string format;
    int kind; // 0 text, 1 int, 2 double
    int intValue;
    double doubleValue;
};

std::mutex g_mutex;
std::vector<Message> g_script;
std::vector<std::vector<std::string>> g_calls;
std::vector<int> g_results;
bool g_returnNull = false;

void add(const Message& message)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_script.push_back(message);
}

} // namespace

extern "C" {

UVC_UPGRADE_EXPORT void scripted_reset()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_script.clear();
    g_calls.clear();
    g_results.clear();
    g_returnNull = false;
}

UVC_UPGRADE_EXPORT void scripted_addText(const char* text)
{
    add({text, 0, 0, 0.0});
}
UVC_UPGRADE_EXPORT void scripted_addInt(const char* format, int v)
{
    add({format, 1, v, 0.0});
}
UVC_UPGRADE_EXPORT void scripted_addDouble(const char* format, double v)
{
    add({format, 2, 0, v});
}

UVC_UPGRADE_EXPORT void scripted_setReturnNull(int returnNull)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_returnNull = returnNull != 0;
}

UVC_UPGRADE_EXPORT int scripted_callCount()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return static_cast<int>(g_calls.size());
}

// Argument i of call n: 0 is the option count as text, 1 to 4 the texts.
UVC_UPGRADE_EXPORT const char* scripted_arg(int call, int i)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_calls.at(static_cast<size_t>(call)).at(static_cast<size_t>(i)).c_str();
}

// What the callback returned for message n.
UVC_UPGRADE_EXPORT int scripted_result(int message)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_results.at(static_cast<size_t>(message));
}

UVC_UPGRADE_EXPORT const char* upgrade(int count, const char* switch1, const char* value1,
                                       const char* switch2, const char* value2,
                                       UpgradeMessageCallback callback)
{
    std::vector<Message> script;
    bool returnNull = false;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_calls.push_back({std::to_string(count), switch1, value1, switch2, value2});
        script = g_script;
        returnNull = g_returnNull;
    }
    for (const Message& m : script) {
        const int result = m.kind == 0   ? callback("%s", m.format.c_str())
                           : m.kind == 1 ? callback(m.format.c_str(), m.intValue)
                                         : callback(m.format.c_str(), m.doubleValue);
        std::lock_guard<std::mutex> lock(g_mutex);
        g_results.push_back(result);
    }
    return returnNull ? nullptr : "scripted done";
}
}
