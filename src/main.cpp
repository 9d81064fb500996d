#include "dorvane.h"
#include "sessionend.h"

#include <QApplication>
#include <QStyleFactory>
#include <QtGlobal>

#include <cstdio>

int main(int argc, char* argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Without a display Qt would abort with a long plugin message; say it plainly.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "dorvane: no display found; start it on a desktop, or under "
                             "a virtual one with: xvfb-run -a dorvane\n");
        return 1;
    }
#endif
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(dorvane);
    application.setStyle(QStyleFactory::create("fusion"));
    auto* dialog = new TDorvane(nullptr, Qt::WindowFlags());
    Install_Session_End(dialog);
    dialog->show();
    const int result = application.exec();
    delete dialog;
    Q_CLEANUP_RESOURCE(dorvane);
    return result;
}
