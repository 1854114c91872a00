#include "OuvertureEcriture.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

namespace {

constexpr int DelaiPollMs = 100;

} // namespace

int ouvreEnEcriture(const QByteArray& nom, int drapeaux, const std::function<bool()>& interrompu)
{
    for (;;) {
        const int descripteur = ::open(nom.constData(), drapeaux | O_NONBLOCK, 0644);
        if (descripteur >= 0) {
            ::fcntl(descripteur, F_SETFL, ::fcntl(descripteur, F_GETFL) & ~O_NONBLOCK);
            return descripteur;
        }
        // ENXIO from a FIFO: nobody reads it yet. From anything else (a device without its
        // driver), a failure like any other.
        struct stat etat
        {
        };
        if (errno != ENXIO || ::stat(nom.constData(), &etat) != 0 || !S_ISFIFO(etat.st_mode)) {
            if (errno == 0)
                errno = ENXIO;
            return -1;
        }
        if (interrompu && interrompu()) {
            errno = EINTR;
            return -1;
        }
        ::poll(nullptr, 0, DelaiPollMs);
    }
}
