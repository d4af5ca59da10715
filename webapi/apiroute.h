#pragma once

#include <QByteArray>

// What a request under /api/v1/ or /metrics asks for, read from its method
// and path alone; the body is the handler's.
struct ApiRoute
{
    enum Kind
    {
        NotFound,
        WrongMethod,
        Cameras,
        GetControls,
        PutControls,
        Move,
        Snapshot,
        PresetSave,
        PresetRecall,
        Framing,
        Metrics,
    };
    Kind kind = NotFound;
    int camera = -1;
    int preset = 0;
};

// `path` is the decoded path without the query. Camera and preset numbers
// are plain decimals without sign or leading zeros, below 1000.
ApiRoute parseApiRoute(const QByteArray& method, const QByteArray& path);
