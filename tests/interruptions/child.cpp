// The second process of tst_interruptions.
//   child dialog DESTINATION [HOW]: syncs into DESTINATION; HOW ("escape", "close
//   box", "signal" to await one) ends it after the first file. Prints the number of boxes shown.
//   child hold TARGET: writes TARGET's temporary, says "ready", commits on a byte from stdin.
#include "dorvane.h"
#include "replacefile.h"
#include "sessionend.h"
#include "testsupport.h"

#include <QTest>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments[1] == "hold") {
        TReplaceFile file(arguments[2]);
        if (!file.Write("held\n", false))
            return 1;
        std::puts("ready");
        std::fflush(stdout);
        std::getchar();
        return file.Commit() ? 0 : 1;
    }
    const QString how = arguments.value(3);
    TDorvane dialog;
    Install_Session_End(&dialog);
    TBoxWatcher watcher;
    dialog.show();
    QTimer::singleShot(0, &dialog, [&] {
        dialog.findChild<QLineEdit*>("d_destination")->setText(arguments[2]);
        // Runs at the first point the sync lets events through: after the first file.
        QTimer::singleShot(0, &dialog, [&] {
            if (how == "escape") {
                QTest::keyClick(&dialog, Qt::Key_Escape);
            } else if (how == "close box") {
                QCloseEvent event;
                QCoreApplication::sendEvent(dialog.windowHandle(), &event);
            }
        });
        dialog.findChild<QPushButton*>("d_sync")->click();
        if (how.isEmpty())
            dialog.close();
    });
    const int result = application.exec();
    std::printf("%d boxes\n", watcher.Count());
    return result;
}
