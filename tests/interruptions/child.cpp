// The second process of tst_interruptions.
//   child dialog DESTINATION [HOW]: the dialog on the settings of $HOME, as
//       main opens it, with DESTINATION typed in; clicks Sync and prints the
//       number of boxes shown, a line, then the pane. HOW ("close button",
//       "escape", "close box") is done after the first file; with any HOW the
//       sync must close the dialog itself (a signal may be awaited).
//   child hold TARGET: writes TARGET's temporary, says "ready", and commits
//       after a line on stdin; prints "committed" or the reason.
#include "dorvane.h"
#include "replacefile.h"
#include "sessionend.h"
#include "testsupport.h"

#include <QTest>

#include <cstdio>
#include <iostream>
#include <string>

static int Hold(const QString& target)
{
    TReplaceFile file(target);
    if (!file.Write("held\n", false)) {
        std::printf("%s\n", qPrintable(file.Reason()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    const bool committed = file.Commit();
    std::printf("%s\n", committed ? "committed" : qPrintable(file.Reason()));
    return committed ? 0 : 1;
}

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == "hold")
        return Hold(arguments[2]);
    if (arguments.size() < 3 || arguments[1] != "dialog")
        return 2;
    const QString how = arguments.value(3);
    auto* dialog = new TDorvane;
    Install_Session_End(dialog);
    TBoxWatcher watcher;
    dialog->show();
    QString pane;
    QTimer::singleShot(0, dialog, [&] {
        dialog->findChild<QLineEdit*>("d_destination")->setText(arguments[2]);
        // Runs at the first point the sync lets events through: after the first file.
        QTimer::singleShot(0, dialog, [&] {
            if (how == "close button") {
                dialog->findChild<QPushButton*>("d_close")->click();
            } else if (how == "escape") {
                QTest::keyClick(dialog, Qt::Key_Escape);
            } else if (how == "close box") {
                QCloseEvent event;
                QCoreApplication::sendEvent(dialog->windowHandle(), &event);
            }
        });
        dialog->findChild<QPushButton*>("d_sync")->click();
        pane = dialog->findChild<QPlainTextEdit*>("d_output")->toPlainText();
        if (how.isEmpty())
            dialog->close();
    });
    const int result = application.exec();
    std::printf("%d\n%s", watcher.Count(), pane.toUtf8().constData());
    delete dialog;
    return result;
}
