#include "SortieLignes.h"

#include <QAbstractEventDispatcher>

namespace {

// Past this much gathered text it is handed over at once, whatever the event loop does.
constexpr qsizetype TailleMaxEnAttente = 256 * 1024;
// While lines are being lost, how often the mirror looks whether the reader has caught up.
constexpr int DelaiNouvelEssaiMs = 100;

qint64 compteLignes(QByteArrayView texte)
{
    return texte.count('\n');
}

// Told on the writer's thread, acted on the output's. The writer stops telling before the
// output goes (EcrivainSortie::finit), and what it posted goes with the output.
RepriseSortie reprisePour(QObject* sortie, bool active, std::function<void()> changement)
{
    RepriseSortie reprise{active, nullptr};
    if (active && changement)
        reprise.changement = [sortie, changement = std::move(changement)] {
            QMetaObject::invokeMethod(sortie, changement, Qt::QueuedConnection);
        };
    return reprise;
}

} // namespace

SortieLignes::SortieLignes(int descripteur, bool proprietaire, Reglages reglages_, QObject* parent)
    : QObject(parent), limite(reglages_.limite), ligneDePerte(std::move(reglages_.ligneDePerte)),
      ecrivain(std::make_unique<EcrivainSortie>(
          descripteur, proprietaire, reglages_.limite, std::move(reglages_.rotation),
          reprisePour(this, reglages_.reprise, std::move(reglages_.changement))))
{
    auPlusTard.setSingleShot(true);
    auPlusTard.setInterval(DelaiNouvelEssaiMs);
    connect(&auPlusTard, &QTimer::timeout, this, &SortieLignes::vide);
    if (auto* boucle = QAbstractEventDispatcher::instance(thread())) {
        parPasse = true;
        connect(boucle, &QAbstractEventDispatcher::aboutToBlock, this, &SortieLignes::vide);
    }
}

SortieLignes::~SortieLignes()
{
    ferme();
}

BilanSortie SortieLignes::ferme()
{
    if (ecrivain)
        vide();
    // Lines lost and not yet said are said at the end, past the bound if need be.
    if (ecrivain && perdues > 0) {
        const QByteArray perte = ligneDePerte(perdues);
        ecrivain->depose(perte.constData(), perte.size(), true);
    }
    if (ecrivain) {
        bilanFinal = ecrivain->finit();
        ecrivain.reset();
    }
    bilanFinal.lignesPerdues += perduesEnTout;
    perduesEnTout = 0;
    return bilanFinal;
}

BilanSortie SortieLignes::bilan() const
{
    BilanSortie b = ecrivain ? ecrivain->bilan() : bilanFinal;
    b.lignesPerdues += perduesEnTout;
    return b;
}

void SortieLignes::comptePerte(qint64 lignes)
{
    perdues += lignes;
    perduesEnTout += lignes;
}

void SortieLignes::ecrit(const QString& message)
{
    if (!ecrivain)
        return;
    // Kept by length, not as a C string: a NUL or ESC received in a frame goes out as it is.
    // Encoded straight into the gathered text, without a buffer of its own per line.
    const qsizetype avant = enAttente.size();
    enAttente.resize(avant + encodeur.requiredSpace(message.size()) + 1);
    char* fin = encodeur.appendToBuffer(enAttente.data() + avant, message);
    *fin++ = '\n';
    enAttente.resize(fin - enAttente.constData());
    ajoute();
}

void SortieLignes::ecritOctets(QByteArrayView ligne)
{
    if (!ecrivain)
        return;
    enAttente.append(ligne);
    enAttente.append('\n');
    ajoute();
}

// A line has been gathered: handed over now, or before the event loop next waits.
void SortieLignes::ajoute()
{
    if (!parPasse || enAttente.size() >= TailleMaxEnAttente)
        vide();
    else if (!auPlusTard.isActive())
        auPlusTard.start();
}

void SortieLignes::vide()
{
    auPlusTard.stop();
    if (!ecrivain)
        return;
    if (ecrivain->termine()) {
        arrete();
        return;
    }
    if (enAttente.isEmpty() && perdues == 0)
        return;

    qsizetype place = ecrivain->place();
    if (perdues > 0) {
        // The reader is taken to have caught up once half the room is free again: one loss
        // line per episode, not one each time a line's worth of room comes free.
        const QByteArray perte = ligneDePerte(perdues);
        if (place >= limite / 2 && ecrivain->depose(perte.constData(), perte.size())) {
            perdues = 0;
            place -= perte.size();
        } else {
            // Still no room: what came meanwhile is lost too, after the lines already lost.
            comptePerte(compteLignes(enAttente));
            enAttente.resize(0);
            auPlusTard.start();
            return;
        }
    }
    // Whole lines only: as many as there is room for, the rest counted as lost.
    qsizetype garde = enAttente.size();
    bool horsLimite = false;
    if (garde > place) {
        garde = place > 0 ? enAttente.lastIndexOf('\n', place - 1) + 1 : 0;
        // A line longer than the whole room would never go: it goes alone, once nothing else
        // waits for the writer, so what is held stays within one line past the bound.
        if (garde == 0 && place == limite) {
            garde = enAttente.indexOf('\n') + 1;
            horsLimite = true;
        }
        comptePerte(compteLignes(QByteArrayView(enAttente).sliced(garde)));
    }
    if (garde > 0)
        ecrivain->depose(enAttente.constData(), garde, horsLimite);
    // The buffer keeps its room for the next pass; a rare huge pass gives it back.
    if (enAttente.capacity() > TailleMaxEnAttente * 2)
        enAttente = QByteArray();
    else
        enAttente.resize(0);
    if (perdues > 0)
        auPlusTard.start();
}

// The reader has gone for good: the output costs nothing from now on.
void SortieLignes::arrete()
{
    if (auto* boucle = QAbstractEventDispatcher::instance(thread()))
        disconnect(boucle, nullptr, this, nullptr);
    ecrivain.reset();
    enAttente = QByteArray();
    perdues = 0;
}
