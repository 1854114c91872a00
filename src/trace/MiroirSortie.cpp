#include "MiroirSortie.h"

#include "Journal.h"

#include <QAbstractEventDispatcher>

namespace {

// Past this much gathered text it goes out at once, whatever the event loop does.
constexpr qsizetype TailleMaxEnAttente = 256 * 1024;

} // namespace

MiroirSortie::MiroirSortie(const Journal& journal, std::FILE* flux_, QObject* parent)
    : QObject(parent), flux(flux_)
{
    connect(&journal, &Journal::messageJournalise, this, &MiroirSortie::ecrit);
    auPlusTard.setSingleShot(true);
    auPlusTard.setInterval(100);
    connect(&auPlusTard, &QTimer::timeout, this, &MiroirSortie::vide);
    if (auto* boucle = QAbstractEventDispatcher::instance(thread())) {
        parPasse = true;
        connect(boucle, &QAbstractEventDispatcher::aboutToBlock, this, &MiroirSortie::vide);
    }
}

MiroirSortie::~MiroirSortie()
{
    vide();
}

void MiroirSortie::ecrit(const QString& message)
{
    // Kept by length, not as a C string: a NUL or ESC received in a frame goes out as it is.
    // Encoded straight into the gathered text, without a buffer of its own per line.
    const qsizetype avant = enAttente.size();
    enAttente.resize(avant + encodeur.requiredSpace(message.size()) + 1);
    char* fin = encodeur.appendToBuffer(enAttente.data() + avant, message);
    *fin++ = '\n';
    enAttente.resize(fin - enAttente.constData());
    if (!parPasse || enAttente.size() >= TailleMaxEnAttente)
        vide();
    else if (!auPlusTard.isActive())
        auPlusTard.start();
}

void MiroirSortie::vide()
{
    auPlusTard.stop();
    if (enAttente.isEmpty())
        return;
    std::fwrite(enAttente.constData(), 1, size_t(enAttente.size()), flux);
    std::fflush(flux);
    // The buffer keeps its room for the next pass; a rare huge pass gives it back.
    if (enAttente.capacity() > TailleMaxEnAttente)
        enAttente = QByteArray();
    else
        enAttente.resize(0);
}
