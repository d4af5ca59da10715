// An upgrade library that plays back the messages of a script and records
// the arguments of every call, so tests see exactly what the program passes
// and how the page reads each message. The folder named by
// LUMORA_SCRIPTED_UPGRADE holds "script" (one message a line; "f:FORMAT:V"
// formats a double, "null" makes the call return no text, "die" ends the
// process there as a kill would), and receives
// "calls" (the arguments of each call, tab-separated) and "results" (what
// the callback returned for each message).
#include "uvc_upgrade.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#include <cstdlib>
#include <fstream>
#include <string>

extern "C" UVC_UPGRADE_EXPORT const char* upgrade(int count, const char* switch1,
                                                  const char* value1, const char* switch2,
                                                  const char* value2,
                                                  UpgradeMessageCallback callback)
{
    const char* folder = std::getenv("LUMORA_SCRIPTED_UPGRADE");
    const std::string dir = folder ? folder : ".";
    std::ofstream(dir + "/calls", std::ios::app)
        << count << '\t' << switch1 << '\t' << value1 << '\t' << switch2 << '\t' << value2 << '\n';
    std::ifstream script(dir + "/script");
    std::ofstream results(dir + "/results", std::ios::app);
    bool returnNull = false;
    for (std::string line; std::getline(script, line);) {
        if (line == "null") {
            returnNull = true;
        } else if (line == "die") {
#if defined(_WIN32)
            TerminateProcess(GetCurrentProcess(), 137);
#endif
            std::_Exit(137);
        } else if (line.rfind("f:", 0) == 0) {
            const size_t colon = line.rfind(':');
            const std::string format = line.substr(2, colon - 2);
            results << callback(format.c_str(), std::stod(line.substr(colon + 1))) << '\n';
        } else {
            results << callback("%s", line.c_str()) << '\n';
        }
    }
    return returnNull ? nullptr : "scripted done";
}
