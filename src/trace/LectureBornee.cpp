#include "LectureBornee.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString raisonSysteme(int erreur)
{
    return QString::fromLocal8Bit(std::strerror(erreur));
}

struct Descripteur
{
    int fd;
    ~Descripteur()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::variant<QByteArray, LectureBornee::Echec> LectureBornee::lit(const QString& chemin) const
{
    using Cause = Echec::Cause;
    // Without O_NONBLOCK, opening a FIFO waits for a writer, and a signal's handler that
    // restarts calls would have it wait for ever.
    const Descripteur d{::open(QFile::encodeName(chemin).constData(),
                               O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (d.fd < 0)
        return Echec{Cause::Illisible, raisonSysteme(errno)};
    struct stat etat
    {
    };
    if (::fstat(d.fd, &etat) == 0 && S_ISDIR(etat.st_mode))
        return Echec{Cause::Illisible, raisonSysteme(EISDIR)};
    const auto tropGrand = [this] {
        return Echec{Cause::TropGrand,
                     QStringLiteral("fichier trop grand, %1 octets au plus").arg(tailleMax)};
    };
    if (S_ISREG(etat.st_mode) && etat.st_size > tailleMax)
        return tropGrand();

    QByteArray contenu;
    char bloc[65536];
    for (;;) {
        const ssize_t n = ::read(d.fd, bloc, sizeof bloc);
        if (n > 0) {
            if (contenu.size() + n > tailleMax)
                return tropGrand();
            contenu.append(bloc, qsizetype(n));
            continue;
        }
        if (n == 0) {
            // With nothing there and no writer, a pipe reads as ended. Once bytes have come,
            // their writer has been and gone: that is the end. Before, a FIFO may still be
            // waiting for its writer, unless poll saw one come and go (POLLHUP).
            if (!S_ISFIFO(etat.st_mode) || !contenu.isEmpty())
                return contenu;
            pollfd attente{d.fd, POLLIN, 0};
            if (::poll(&attente, 1, 0) > 0 && (attente.revents & POLLHUP) != 0)
                return contenu;
        } else if (errno != EAGAIN && errno != EINTR) {
            return Echec{Cause::Illisible, raisonSysteme(errno)};
        }
        if (interrompu && interrompu())
            return Echec{Cause::Interrompue, QStringLiteral("lecture interrompue")};
        pollfd attente{d.fd, POLLIN, 0};
        ::poll(&attente, 1, DelaiPollMs);
    }
}
