#include "apiroute.h"

#include <QList>

namespace {

// A small decimal: no sign, no leading zero, no more than three digits.
int smallNumber(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > 3 || (text.size() > 1 && text.at(0) == '0')) {
        return -1;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

ApiRoute routed(ApiRoute::Kind kind, bool methodFits, int camera = -1, int preset = 0)
{
    ApiRoute route;
    route.kind = methodFits ? kind : ApiRoute::WrongMethod;
    route.camera = camera;
    route.preset = preset;
    return route;
}

} // namespace

ApiRoute parseApiRoute(const QByteArray& method, const QByteArray& path)
{
    const bool get = method == "GET";
    const bool post = method == "POST";
    if (path == "/metrics") {
        return routed(ApiRoute::Metrics, get);
    }
    if (path != "/api/v1/cameras" && !path.startsWith("/api/v1/cameras/")) {
        return {};
    }
    const QList<QByteArray> parts = path.mid(int(sizeof("/api/v1/")) - 1).split('/');
    if (parts.size() == 1) {
        return routed(ApiRoute::Cameras, get);
    }
    const int camera = smallNumber(parts.at(1));
    if (camera < 0 || parts.size() < 3) {
        return {};
    }
    const QByteArray& what = parts.at(2);
    if (parts.size() == 3 && what == "controls") {
        return routed(get ? ApiRoute::GetControls : ApiRoute::PutControls, get || method == "PUT",
                      camera);
    }
    if (parts.size() == 3 && what == "move") {
        return routed(ApiRoute::Move, post, camera);
    }
    if (parts.size() == 3 && what == "framing") {
        return routed(ApiRoute::Framing, post, camera);
    }
    if (parts.size() == 3 && what == "snapshot.jpg") {
        return routed(ApiRoute::Snapshot, get, camera);
    }
    const int preset = parts.size() == 5 && what == "presets" ? smallNumber(parts.at(3)) : -1;
    if (preset < 0 || (parts.at(4) != "save" && parts.at(4) != "recall")) {
        return {};
    }
    return routed(parts.at(4) == "save" ? ApiRoute::PresetSave : ApiRoute::PresetRecall, post,
                  camera, preset);
}
