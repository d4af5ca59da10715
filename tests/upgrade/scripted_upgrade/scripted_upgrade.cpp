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
    enum Kind
    {
        Text,
        Int,
        Double
    } kind;
    std::string format;
    int intValue;
    double doubleValue;
};

struct Call
{
    std::string args[5];
};

std::mutex g_mutex;
std::vector<Message> g_script;
std::vector<Call> g_calls;
std::vector<int> g_results;
bool g_returnNull = false;

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
    std::lock_guard<std::mutex> lock(g_mutex);
    g_script.push_back({Message::Text, text, 0, 0.0});
}

UVC_UPGRADE_EXPORT void scripted_addInt(const char* format, int value)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_script.push_back({Message::Int, format, value, 0.0});
}

UVC_UPGRADE_EXPORT void scripted_addDouble(const char* format, double value)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_script.push_back({Message::Double, format, 0, value});
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
    return g_calls.at(static_cast<size_t>(call)).args[i].c_str();
}

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
        g_calls.push_back({{std::to_string(count), switch1, value1, switch2, value2}});
        script = g_script;
        returnNull = g_returnNull;
    }
    for (const Message& message : script) {
        int result = 0;
        switch (message.kind) {
        case Message::Text:
            result = callback("%s", message.format.c_str());
            break;
        case Message::Int:
            result = callback(message.format.c_str(), message.intValue);
            break;
        case Message::Double:
            result = callback(message.format.c_str(), message.doubleValue);
            break;
        }
        std::lock_guard<std::mutex> lock(g_mutex);
        g_results.push_back(result);
    }
    return returnNull ? nullptr : "scripted done";
}
}
