#include "testsupport.h"

TBoxWatcher::TBoxWatcher()
{
    connect(this, &QTimer::timeout, this, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes.append({QTextDocumentFragment::fromHtml(box->text()).toPlainText(),
                          QTextDocumentFragment::fromHtml(box->informativeText()).toPlainText(),
                          box->detailedText(),
                          QString::number(box->standardButtons()) + '/' +
                              QString::number(box->standardButton(box->defaultButton())),
                          box->icon()});
            if (on_box)
                on_box(box);
            box->done(QMessageBox::Ok);
        }
    });
    start(5);
}
