#include "EcrivainSortie.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>

// Shared with the thread, which keeps it alive if it is left blocked at the end.
struct EcrivainSortie::Etat
{
    int descripteur = -1;
    bool proprietaire = false;
    qsizetype limite = 0;
    std::mutex verrou;
    std::condition_variable aEcrire;
    std::condition_variable fini;
    QByteArray enAttente;    // queued, not yet taken by the thread
    qsizetype nonEcrits = 0; // queued plus what the thread is writing
    bool fin = false;        // the owner is going: drain, then stop
    bool enPanne = false;    // a write failed
    bool arrete = false;     // the thread has returned
    bool finie = false;      // finit() has run
    Rotation rotation;       // only the thread touches it once started
    RepriseSortie reprise;
    BilanSortie bilan;
    qint64 lignesEnVol = 0; // lines of the block being written, not yet written (with reprise)

    ~Etat()
    {
        if (proprietaire)
            ::close(descripteur);
    }
    void boucle();
    bool ecritTout(const QByteArray& bloc);
    qsizetype ecritBloc(const char* debut, qsizetype reste);
    bool perd(QByteArrayView reste, qsizetype ecrits, int erreur);
    void reprend();
    void tourne();
};

namespace {

// Past this, a buffer gives its memory back once written instead of keeping it for the next.
constexpr qsizetype CapaciteGardee = 1024 * 1024;
// How long the thread lets bytes gather before it writes them.
constexpr int DelaiRegroupementMs = 2;

} // namespace

// With a size bound, the block goes out in whole lines, the file turning over between two lines
// when the next would pass the bound (a single line longer than the bound goes out alone).
bool EcrivainSortie::Etat::ecritTout(const QByteArray& bloc)
{
    QByteArrayView reste(bloc);
    while (!reste.isEmpty()) {
        qsizetype part = reste.size();
        if (rotation.tailleMax > 0) {
            const qsizetype place = rotation.tailleMax - rotation.dejaEcrits;
            if (part > place) {
                part = place > 0 ? reste.first(place).lastIndexOf('\n') + 1 : 0;
                if (part == 0 && rotation.dejaEcrits > 0) {
                    tourne();
                    continue;
                }
                if (part == 0) {
                    const qsizetype finLigne = reste.indexOf('\n');
                    part = finLigne < 0 ? reste.size() : finLigne + 1;
                }
            }
        }
        const qsizetype ecrits = ecritBloc(reste.data(), part);
        rotation.dejaEcrits += ecrits;
        if (ecrits < part)
            return perd(reste, ecrits, errno != 0 ? errno : EIO);
        reste = reste.sliced(part);
    }
    reprend();
    return true;
}

// A write failed after `ecrits` bytes of `reste`. Without reprise the output ends. With it,
// the line cut short is taken back off a regular file, it and the lines after it are counted
// as lost, and the writer goes on.
bool EcrivainSortie::Etat::perd(QByteArrayView reste, qsizetype ecrits, int erreur)
{
    if (!reprise.active)
        return false;
    const qsizetype entieres = reste.first(ecrits).lastIndexOf('\n') + 1;
    const qsizetype coupes = ecrits - entieres;
    if (coupes > 0) {
        const off_t finEntiere = ::lseek(descripteur, -off_t(coupes), SEEK_CUR);
        if (finEntiere >= 0 && ::ftruncate(descripteur, finEntiere) == 0)
            rotation.dejaEcrits -= coupes;
    }
    const qint64 perdues = reste.sliced(entieres).count('\n');
    std::lock_guard garde(verrou);
    nonEcrits -= reste.size() - ecrits;
    lignesEnVol = 0;
    bilan.lignesPerdues += perdues;
    if (bilan.erreur == 0) {
        bilan.erreur = erreur;
        if (reprise.changement)
            reprise.changement();
    }
    return true;
}

// Every line of a block went: writes work again.
void EcrivainSortie::Etat::reprend()
{
    if (!reprise.active)
        return;
    std::lock_guard garde(verrou);
    lignesEnVol = 0;
    if (bilan.erreur != 0) {
        bilan.erreur = 0;
        if (reprise.changement)
            reprise.changement();
    }
}

void EcrivainSortie::Etat::tourne()
{
    const int nouveau = rotation.rouvre ? rotation.rouvre() : -1;
    rotation.dejaEcrits = 0;
    if (nouveau < 0)
        return;
    if (proprietaire)
        ::close(descripteur);
    descripteur = nouveau;
}

// The bytes written before a write failed (errno then says why), or all of them.
qsizetype EcrivainSortie::Etat::ecritBloc(const char* debut, qsizetype reste)
{
    qsizetype ecrits = 0;
    while (ecrits < reste) {
        const ssize_t n = ::write(descripteur, debut + ecrits, size_t(reste - ecrits));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return ecrits;
        }
        std::lock_guard garde(verrou);
        nonEcrits -= n;
        if (reprise.active)
            lignesEnVol -= QByteArrayView(debut + ecrits, n).count('\n');
        ecrits += n;
    }
    return ecrits;
}

void EcrivainSortie::Etat::boucle()
{
    // Signals are for the program's own thread. A reader that has gone then shows as EPIPE
    // here, never as a SIGPIPE that would end the process.
    sigset_t tous;
    sigfillset(&tous);
    pthread_sigmask(SIG_BLOCK, &tous, nullptr);

    QByteArray bloc;
    std::unique_lock garde(verrou);
    for (;;) {
        aEcrire.wait(garde, [this] { return !enAttente.isEmpty() || fin; });
        if (enAttente.isEmpty())
            break;
        // Under load the program hands bytes over at every pass of its event loop: a short
        // wait gathers many passes into one write, and costs it one wake-up of this thread
        // instead of one per pass.
        if (!fin) {
            garde.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(DelaiRegroupementMs));
            garde.lock();
        }
        bloc.swap(enAttente);
        if (reprise.active)
            lignesEnVol = bloc.count('\n');
        garde.unlock();
        const bool ok = ecritTout(bloc);
        if (bloc.capacity() > CapaciteGardee)
            bloc = QByteArray();
        else
            bloc.resize(0);
        garde.lock();
        if (!ok) {
            enPanne = true;
            enAttente = QByteArray();
            nonEcrits = 0;
            break;
        }
    }
    arrete = true;
    fini.notify_all();
}

EcrivainSortie::EcrivainSortie(int descripteur, bool proprietaire, qsizetype limite,
                               Rotation rotation, RepriseSortie reprise)
    : etat(std::make_shared<Etat>())
{
    etat->reprise = std::move(reprise);
    etat->descripteur = descripteur;
    etat->proprietaire = proprietaire;
    etat->limite = limite;
    etat->rotation = std::move(rotation);
    std::thread([e = etat] { e->boucle(); }).detach();
}

EcrivainSortie::~EcrivainSortie()
{
    finit();
}

BilanSortie EcrivainSortie::finit()
{
    std::unique_lock garde(etat->verrou);
    if (etat->finie)
        return etat->bilan;
    etat->finie = true;
    etat->fin = true;
    etat->aEcrire.notify_one();
    // As long as the writes go on (a file on a busy disk) the writer is waited for, up to a
    // bound; one that gets nowhere for DelaiFinMs (a pipe nobody reads) is left.
    const auto limite = std::chrono::steady_clock::now() + std::chrono::milliseconds(DelaiFinMaxMs);
    for (qsizetype avant = -1;
         avant != etat->nonEcrits && std::chrono::steady_clock::now() < limite;) {
        avant = etat->nonEcrits;
        if (etat->fini.wait_for(garde, std::chrono::milliseconds(DelaiFinMs),
                                [this] { return etat->arrete; }))
            break;
    }
    // Whoever asked to be told has gone, or is going.
    etat->reprise.changement = nullptr;
    if (etat->reprise.active && !etat->arrete)
        etat->bilan.lignesPerdues += etat->lignesEnVol + etat->enAttente.count('\n');
    return etat->bilan;
}

bool EcrivainSortie::depose(const char* octets, qsizetype taille, bool horsLimite)
{
    std::lock_guard garde(etat->verrou);
    if (etat->enPanne || (!horsLimite && etat->nonEcrits + taille > etat->limite))
        return false;
    const bool reveil = etat->enAttente.isEmpty();
    etat->enAttente.append(octets, taille);
    etat->nonEcrits += taille;
    if (reveil)
        etat->aEcrire.notify_one();
    return true;
}

qsizetype EcrivainSortie::place() const
{
    std::lock_guard garde(etat->verrou);
    return etat->enPanne ? 0 : etat->limite - etat->nonEcrits;
}

BilanSortie EcrivainSortie::bilan() const
{
    std::lock_guard garde(etat->verrou);
    return etat->bilan;
}

bool EcrivainSortie::termine() const
{
    std::lock_guard garde(etat->verrou);
    return etat->enPanne;
}
