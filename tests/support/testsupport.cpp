#include "testsupport.h"

TBoxWatcher::TBoxWatcher()
{
    connect(this, &QTimer::timeout, this, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes.append({QTextDocumentFragment::fromHtml(box->text()).toPlainText(),
                          QTextDocumentFragment::fromHtml(box->informativeText()).toPlainText(),
                          box->detailedText(),
                          QString::asprintf("%d/%d/%d/%d", int(box->standardButtons()),
                                            box->standardButton(box->defaultButton()),
                                            int(box->icon()), box->width())});
            box->done(QMessageBox::Ok);
        }
    });
    start(5);
}
