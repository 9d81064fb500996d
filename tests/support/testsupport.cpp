#include "testsupport.h"

#include <QtTest>

static auto Fields(const TShownBox& box)
{
    return std::tie(box.heading, box.message, box.detail, box.buttons, box.default_button, box.icon,
                    box.width);
}

bool operator==(const TShownBox& a, const TShownBox& b)
{
    return Fields(a) == Fields(b);
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
