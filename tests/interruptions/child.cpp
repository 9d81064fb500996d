// The second process of tst_interruptions.
//   child dialog [DESTINATION]: the dialog on the settings of $HOME, as main
//       opens it, with DESTINATION typed in; clicks Sync and, once the dialog
//       has closed, prints the number of boxes shown, a line, then the pane.
//   child hold TARGET: writes TARGET's temporary, says "ready", and commits
//       after a line on stdin; prints "committed" or the reason.
#include "dorvane.h"
#include "replacefile.h"
#include "sessionend.h"
#include "testsupport.h"

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
    if (arguments.size() < 2 || arguments[1] != "dialog")
        return 2;
    auto* dialog = new TDorvane;
    Install_Session_End(dialog);
    TBoxWatcher watcher;
    dialog->show();
    QString pane;
    QTimer::singleShot(0, dialog, [&] {
        if (arguments.size() > 2)
            dialog->findChild<QLineEdit*>("d_destination")->setText(arguments[2]);
        dialog->findChild<QPushButton*>("d_sync")->click();
        pane = dialog->findChild<QPlainTextEdit*>("d_output")->toPlainText();
        // A signal during the sync has closed the dialog already.
        if (dialog->isVisible())
            dialog->close();
    });
    const int result = application.exec();
    std::printf("%d\n%s", watcher.Count(), pane.toUtf8().constData());
    delete dialog;
    return result;
}
