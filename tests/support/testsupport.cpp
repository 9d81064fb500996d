#include "testsupport.h"

#include <QtTest>

bool operator==(const TShownBox& a, const TShownBox& b)
{
    return a.heading == b.heading && a.message == b.message && a.detail == b.detail &&
           a.buttons == b.buttons && a.default_button == b.default_button && a.icon == b.icon &&
           a.width == b.width;
}

char* QTest::toString(const TShownBox& box)
{
    const QString text = QString("heading: %1\nmessage: %2\ndetail: %3\nbuttons %4, default %5, "
                                 "icon %6, width %7")
                             .arg(box.heading, box.message, box.detail)
                             .arg(box.buttons)
                             .arg(box.default_button)
                             .arg(box.icon)
                             .arg(box.width);
    return qstrdup(text.toUtf8().constData());
}

TBoxWatcher::TBoxWatcher()
{
    connect(this, &QTimer::timeout, this, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes.append({QTextDocumentFragment::fromHtml(box->text()).toPlainText(),
                          QTextDocumentFragment::fromHtml(box->informativeText()).toPlainText(),
                          box->detailedText(), int(box->standardButtons()),
                          int(box->standardButton(box->defaultButton())), int(box->icon()),
                          box->width()});
            box->done(QMessageBox::Ok);
        }
    });
    start(5);
}
