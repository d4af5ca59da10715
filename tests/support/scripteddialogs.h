#pragma once

#include "dialogseam.h"

#include <QList>
#include <QStringList>

// Answers every dialog of the program as a scripted user would, for as long
// as it lives, and keeps every request so a test can see what was asked.
// Message boxes get `button`; file dialogs get `fileName` (null: cancelled)
// and, for the save dialog, `selectedFilter`.
class ScriptedDialogs : public DialogSeam::Responder
{
public:
    ScriptedDialogs() { DialogSeam::setResponder(this); }
    ~ScriptedDialogs() override { DialogSeam::setResponder(nullptr); }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    DialogSeam::Answer answer(const DialogSeam::Request& request) override
    {
        requests.append(request);
        DialogSeam::Answer reply;
        reply.button = button;
        if (request.kind == DialogSeam::Kind::SaveFile ||
            request.kind == DialogSeam::Kind::OpenFile) {
            reply.fileName = fileName;
            reply.selectedFilter = selectedFilter;
        }
        return reply;
    }

    // The texts of the message boxes shown so far, oldest first.
    QStringList messages() const
    {
        QStringList texts;
        for (const auto& r : requests) {
            if (r.kind == DialogSeam::Kind::Information || r.kind == DialogSeam::Kind::Question) {
                texts << r.text;
            }
        }
        return texts;
    }

    QMessageBox::StandardButton button = QMessageBox::Yes;
    QString fileName;
    QString selectedFilter;
    QList<DialogSeam::Request> requests;
};
