#include "ArretSurSignal.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int paire[2] = {-1, -1};
volatile std::sig_atomic_t signalRecu = 0;
constexpr int Signaux[] = {SIGINT, SIGTERM, SIGHUP};

} // namespace

ArretSurSignal::ArretSurSignal(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, paire) != 0)
        return;
    notificateur = new QSocketNotifier(paire[1], QSocketNotifier::Read, this);
    connect(notificateur, &QSocketNotifier::activated, this, [this] {
        char octet;
        if (::read(paire[1], &octet, 1) == 1)
            emit arretDemande();
    });

    struct sigaction action = {};
    action.sa_handler = &ArretSurSignal::gestionnaire;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : Signaux)
        sigaction(signal, &action, nullptr);
}

ArretSurSignal::~ArretSurSignal()
{
    for (int signal : Signaux)
        std::signal(signal, SIG_DFL);
    for (int& fd : paire) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

bool ArretSurSignal::recu() const
{
    return signalRecu != 0;
}

void ArretSurSignal::gestionnaire(int)
{
    signalRecu = 1;
    const char octet = 1;
    [[maybe_unused]] const ssize_t ecrit = ::write(paire[0], &octet, 1);
}
