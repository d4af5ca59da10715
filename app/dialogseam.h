#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// Every message box and file dialog of the program goes through here, so
// that tests can answer them instead of a person. Without a responder the
// real Qt dialogs are shown.
namespace DialogSeam {

enum class Kind
{
    Information,
    Question,
    SaveFile,
    OpenFile
};

struct Request
{
    Kind kind = Kind::Information;
    QWidget* parent = nullptr;
    QString title;  // box title or dialog caption
    QString text;   // box text
    QString dir;    // file dialogs: proposed path
    QString filter; // file dialogs: filter string
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

struct Answer
{
    QMessageBox::StandardButton button = QMessageBox::Ok; // message boxes
    QString fileName;                                     // file dialogs; null = cancelled
    QString selectedFilter; // save dialog: the filter chosen (empty: the first)
};

class Responder
{
public:
    virtual ~Responder() = default;
    virtual Answer answer(const Request& request) = 0;
};

// Installs a responder (not owned); null restores the real dialogs.
void setResponder(Responder* responder);

QMessageBox::StandardButton
information(QWidget* parent, const QString& title, const QString& text,
            QMessageBox::StandardButtons buttons = QMessageBox::Ok,
            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// An information box without parent and with OK only, as the program's
// notices are shown; a handler for layers that make no widget themselves.
void notice(const QString& title, const QString& text);

QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                     QMessageBox::StandardButtons buttons = QMessageBox::Yes |
                                                                            QMessageBox::No,
                                     QMessageBox::StandardButton defaultButton = QMessageBox::Yes);

// selectedFilter, when given, receives the filter the user chose.
QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                        const QString& filter, QString* selectedFilter = nullptr);

QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                        const QString& filter);

} // namespace DialogSeam
