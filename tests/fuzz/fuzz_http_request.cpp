// The method and path of an HTTP request to the agent, as CivetWeb hands
// them over decoded: whoever reaches the port chooses both.
#include "apiroute.h"
#include "fuzzexpect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    const int space = text.indexOf(' ');
    const QByteArray path = text.mid(space + 1);
    const ApiRoute route = parseApiRoute(text.left(space), path);
    FUZZ_EXPECT(route.camera >= -1 && route.camera < 1000 && route.preset >= 0 &&
                route.preset < 1000);
    const bool cameraRoute = route.kind != ApiRoute::NotFound && route.kind != ApiRoute::Cameras &&
                             route.kind != ApiRoute::Metrics && route.camera >= 0;
    FUZZ_EXPECT(!cameraRoute ||
                path.startsWith("/api/v1/cameras/" + QByteArray::number(route.camera) + '/'));
    FUZZ_EXPECT(route.kind != ApiRoute::Metrics || path == "/metrics");
    FUZZ_EXPECT(route.kind != ApiRoute::Cameras || path == "/api/v1/cameras");
    return 0;
}
