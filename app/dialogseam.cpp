#include "dialogseam.h"

#include <QFileDialog>

#include <atomic>

namespace DialogSeam {
namespace {
std::atomic<Responder*> g_responder{nullptr};

bool respond(const Request& request, Answer* answer)
{
    Responder* responder = g_responder.load();
    if (!responder) {
        return false;
    }
    *answer = responder->answer(request);
    return true;
}
} // namespace

void setResponder(Responder* responder)
{
    g_responder.store(responder);
}

QMessageBox::StandardButton information(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton)
{
    Answer answer;
    if (respond({Kind::Information, parent, title, text, {}, {}, buttons, defaultButton},
                &answer)) {
        return answer.button;
    }
    return QMessageBox::information(parent, title, text, buttons, defaultButton);
}

void notice(const QString& title, const QString& text)
{
    information(nullptr, title, text, QMessageBox::Ok);
}

QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton)
{
    Answer answer;
    if (respond({Kind::Question, parent, title, text, {}, {}, buttons, defaultButton}, &answer)) {
        return answer.button;
    }
    return QMessageBox::question(parent, title, text, buttons, defaultButton);
}

QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                        const QString& filter, QString* selectedFilter)
{
    Answer answer;
    if (respond({Kind::SaveFile, parent, caption, {}, dir, filter, {}, {}}, &answer)) {
        if (selectedFilter) {
            *selectedFilter = answer.selectedFilter;
        }
        return answer.fileName;
    }
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, selectedFilter);
}

QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                        const QString& filter)
{
    Answer answer;
    if (respond({Kind::OpenFile, parent, caption, {}, dir, filter, {}, {}}, &answer)) {
        return answer.fileName;
    }
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

} // namespace DialogSeam
