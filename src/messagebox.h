#ifndef DORVANE_MESSAGEBOX_H
#define DORVANE_MESSAGEBOX_H

#include <QMessageBox>

// The one look of every error: a semi-bold headline over a plain message,
// buttons without icons in a fixed order, always 500 pixels wide.
class TMessageBox : public QMessageBox
{
public:
    explicit TMessageBox(QWidget* parent);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

public:
    int exec() override;
    virtual void Set_Heading(const QString& text);
    virtual void Set_Message(const QString& text);

private:
    int d_width;
};

#endif
