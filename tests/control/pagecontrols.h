#pragma once

// The pages' suites: the channels the pages' camera requests go through.
#include "controlchannel.h"
#include "vorn_cameraproperty.h"

#include <QApplication>
#include <QWidget>

// The pages tested on their own share one channel over the window's
// process-wide handles, as the window's pages share its own.
inline ControlChannel*& pageChannel()
{
    static ControlChannel* channel = nullptr;
    return channel;
}

// Closed as the application ends, before its objects go.
inline ControlChannel& pageControls()
{
    if (!pageChannel()) {
        pageChannel() = new ControlChannel(cameraProperty, zoomProperty);
        qAddPostRoutine([] {
            delete pageChannel();
            pageChannel() = nullptr;
        });
    }
    return *pageChannel();
}

inline bool allControlsIdle()
{
    bool idle = pageControls().idle();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        for (ControlChannel* channel : window->findChildren<ControlChannel*>()) {
            idle = idle && channel->idle();
        }
    }
    return idle;
}
