// The upgrade relay: a 64-bit program cannot load a vendor's 32-bit upgrade
// library, so this small 32-bit program loads it, makes the one call it is
// given and relays every message and the returned text back over its
// standard output (relayprotocol.h). No Qt, and the runtime linked in: it
// ships as one file beside the program.
#include "relayprotocol.h"
#include "uvc_upgrade.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

HANDLE g_protocol = INVALID_HANDLE_VALUE;
CRITICAL_SECTION g_writing;

void writeAll(const char* data, DWORD size)
{
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(g_protocol, data, size, &written, nullptr) || written == 0) {
            // Nobody reads any more: the program has gone.
            ExitProcess(RelayProtocol::LostProgram);
        }
        data += written;
        size -= written;
    }
}

void writeRecord(char tag, const char* bytes, uint32_t length, const char* lead = nullptr)
{
    const uint32_t total = length + (lead ? 1 : 0);
    char header[RelayProtocol::kHeaderBytes] = {tag, char(total & 0xff), char((total >> 8) & 0xff),
                                                char((total >> 16) & 0xff), char(total >> 24)};
    // A library may report from threads of its own: records never interleave.
    EnterCriticalSection(&g_writing);
    writeAll(header, sizeof header);
    if (lead) {
        writeAll(lead, 1);
    }
    writeAll(bytes, length);
    LeaveCriticalSection(&g_writing);
}

extern "C" int UVC_UPGRADE_CDECL relayMessage(const char* format, ...)
{
    char buffer[RelayProtocol::kMessageBytes + 1] = {};
    va_list args;
    va_start(args, format);
    const int produced = format ? std::vsnprintf(buffer, sizeof buffer, format, args) : 0;
    va_end(args);
    writeRecord(RelayProtocol::kMessage, buffer, uint32_t(std::strlen(buffer)));
    return produced;
}

int hexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

bool fromHex(const wchar_t* text, std::string* bytes)
{
    const size_t length = std::wcslen(text);
    if (length % 2 != 0) {
        return false;
    }
    for (size_t i = 0; i < length; i += 2) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) {
            return false;
        }
        bytes->push_back(char(high * 16 + low));
    }
    return true;
}

// The protocol keeps the output handle for itself; whatever the library
// prints goes to the error stream instead, where it cannot break a record.
void takeStandardOutput()
{
    const HANDLE self = GetCurrentProcess();
    DuplicateHandle(self, GetStdHandle(STD_OUTPUT_HANDLE), self, &g_protocol, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
    std::fflush(stdout);
    _dup2(_fileno(stderr), _fileno(stdout));
}

int usage()
{
    std::fprintf(stderr,
                 "usage: %s LIBRARY --probe | LIBRARY COUNT SWITCH1 VALUE1 SWITCH2 VALUE2 "
                 "(texts as hexadecimal bytes)\n",
                 RelayProtocol::kProgram);
    return RelayProtocol::Usage;
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const bool probe = argc == 3 && std::wcscmp(argv[2], L"--probe") == 0;
    std::string texts[4];
    if (!argv || (!probe && argc != 7)) {
        return usage();
    }
    for (int i = 0; !probe && i < 4; ++i) {
        if (!fromHex(argv[3 + i], &texts[i])) {
            return usage();
        }
    }
    takeStandardOutput();
    InitializeCriticalSection(&g_writing);
    // No system dialog for a library that cannot be loaded: the program
    // reports it.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The library's own folder is searched for what it needs.
    HMODULE library = LoadLibraryExW(argv[1], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library) {
        std::fprintf(stderr, "upgrade relay: cannot load the library (error %lu)\n",
                     GetLastError());
        return RelayProtocol::NotLoaded;
    }
    const auto entry = reinterpret_cast<UpgradeEntryPoint>(
        reinterpret_cast<void*>(GetProcAddress(library, "upgrade")));
    if (!entry) {
        FreeLibrary(library);
        return RelayProtocol::NoEntryPoint;
    }
    if (!probe) {
        const char* returned =
            entry(int(std::wcstol(argv[2], nullptr, 10)), texts[0].c_str(), texts[1].c_str(),
                  texts[2].c_str(), texts[3].c_str(), &relayMessage);
        const char lead = returned ? 1 : 0;
        writeRecord(RelayProtocol::kReturned, returned ? returned : "",
                    returned ? uint32_t(std::strlen(returned)) : 0, &lead);
    }
    FreeLibrary(library);
    return RelayProtocol::Called;
}
