#include "sessionend.h"

#include "dorvane.h"

#include <QCoreApplication>
#include <QPointer>

#ifdef Q_OS_WIN
#include <QAbstractNativeEventFilter>

#include <windows.h>
#else
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN

namespace {

// Windows asks every program before the session ends. A running sync is
// asked to stop and the end is put off with a reason until it has: the
// process then exits by itself. Otherwise Qt closes the dialog, which saves
// the settings.
class TEndSessionFilter : public QAbstractNativeEventFilter
{
public:
    explicit TEndSessionFilter(TDorvane* dialog) : d_dialog(dialog) {}
    bool nativeEventFilter(const QByteArray& type, void* message, long* result) override
    {
        if (type != "windows_generic_MSG" || d_dialog.isNull() || !d_dialog->Is_Running())
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message != WM_QUERYENDSESSION && msg->message != WM_ENDSESSION)
            return false;
        d_dialog->End_Session();
        if (msg->message == WM_QUERYENDSESSION) {
            ShutdownBlockReasonCreate(reinterpret_cast<HWND>(d_dialog->winId()),
                                      L"Dorvane is stopping a sync and writing its record.");
            *result = FALSE;
        } else {
            *result = 0;
        }
        return true;
    }

private:
    QPointer<TDorvane> d_dialog;
};

} // namespace

void Install_Session_End(TDorvane* dialog)
{
    QCoreApplication::instance()->installNativeEventFilter(new TEndSessionFilter(dialog));
}

#else

namespace {

// The handler only writes a byte; the dialog reads it in its event loop,
// which the sync runs between files.
int g_signal_pipe[2] = {-1, -1};

void On_Signal(int)
{
    const int saved = errno;
    const char byte = 1;
    if (::write(g_signal_pipe[1], &byte, 1) < 0) {
        // A full pipe already holds a request.
    }
    errno = saved;
}

} // namespace

void Install_Session_End(TDorvane* dialog)
{
    if (g_signal_pipe[0] >= 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signal_pipe) != 0)
        return;
    ::fcntl(g_signal_pipe[1], F_SETFL, O_NONBLOCK);
    auto* notifier =
        new QSocketNotifier(g_signal_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QPointer<TDorvane> target(dialog);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [target] {
        char bytes[16];
        if (::read(g_signal_pipe[0], bytes, sizeof bytes) <= 0)
            return;
        if (!target.isNull())
            target->End_Session();
    });
    struct sigaction action = {};
    action.sa_handler = On_Signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

#endif
