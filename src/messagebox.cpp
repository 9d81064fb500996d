#include "messagebox.h"

TMessageBox::TMessageBox(QWidget* parent) : QMessageBox(parent), d_width(500)
{
    setTextFormat(Qt::RichText);
    // No icons on the buttons, and one button order on every platform.
    setStyleSheet("dialogbuttonbox-buttons-have-icons: 0;\nbutton-layout: 1;");
}

// The base sizes the box to its contents; the width is set again after every
// show and resize so that every message has the same width.
void TMessageBox::resizeEvent(QResizeEvent* event)
{
    QMessageBox::resizeEvent(event);
    setFixedWidth(d_width);
}

void TMessageBox::showEvent(QShowEvent* event)
{
    QMessageBox::showEvent(event);
    setFixedWidth(d_width);
}

int TMessageBox::exec()
{
    return QDialog::exec();
}

void TMessageBox::Set_Heading(const QString& text)
{
    setText(QString("<span style=\"font-size:10pt; font-weight:600; color:#000000;\" >%1</span>")
                .arg(text));
}

void TMessageBox::Set_Message(const QString& text)
{
    setInformativeText(
        QString("<span style=\"font-size:10pt; font-weight:400; color:#000000;\" >%1</span>")
            .arg(text));
}
