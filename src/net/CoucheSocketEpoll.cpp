#include "CoucheSocketEpoll.h"

#include "LimiteDescripteurs.h"

#include <QAbstractSocket>

#include <cerrno>
#include <cstring>
#include <utility>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A socket closed with replies still queued gets this long to deliver them.
constexpr qint64 DelaiFermetureMs = 5000;

// A client that sends without reading its replies: past this much pending output its channel
// is no longer read (TCP then slows the client down) until the output drains below the second
// figure; stalled above the third for the given time, the channel is closed.
constexpr qint64 SeuilSuspension = 256 * 1024;
constexpr qint64 SeuilReprise = 64 * 1024;
constexpr qint64 SeuilBlocage = 1024 * 1024;
constexpr qint64 DelaiBlocageParDefautMs = 10000;
constexpr int PeriodeSurveillanceMs = 250;

bool departDuClient(int erreur)
{
    return erreur == ECONNRESET || erreur == EPIPE || erreur == ETIMEDOUT;
}

} // namespace

CoucheSocketEpoll::CoucheSocketEpoll(BoucleEpoll* boucleProcessus, QObject* parent)
    : QObject(parent),
      boucleAPart(boucleProcessus == nullptr ? std::make_unique<BoucleEpoll>() : nullptr),
      boucle(boucleProcessus == nullptr ? *boucleAPart : *boucleProcessus),
      delaiBlocageMs(DelaiBlocageParDefautMs), limiteDescripteurs(limiteDescripteursProcessus())
{
    inscrit = [this](int d, std::uint32_t ev) { return boucle.ajoute(d, ev, *this); };
    horloge.start();
    surveillance.setInterval(PeriodeSurveillanceMs);
    connect(&surveillance, &QTimer::timeout, this, &CoucheSocketEpoll::surveilleBlocages);
}

CoucheSocketEpoll::~CoucheSocketEpoll()
{
    for (auto& [index, canal] : canaux)
        if (canal.descripteur >= 0)
            lache(canal.descripteur);
    for (auto& [descripteur, fermeture] : fermetures)
        lache(descripteur);
    for (auto& [descripteur, client] : demandes)
        refuse(descripteur);
    if (ecoute >= 0)
        lache(ecoute);
}

bool CoucheSocketEpoll::Load(int Index)
{
    if (Index <= 0 || canaux.count(Index) != 0)
        return false;
    canaux.emplace(Index, Canal{});
    return true;
}

void CoucheSocketEpoll::Unload(int Index)
{
    if (Index <= 0 || canaux.count(Index) == 0)
        return;
    Close(Index);
    canaux.erase(Index);
}

bool CoucheSocketEpoll::existe(int Index) const
{
    return Index == 0 || canaux.count(Index) != 0;
}

int CoucheSocketEpoll::State(int Index) const
{
    if (Index == 0)
        return ecoute >= 0 ? AEcoute : Ferme;
    const auto it = canaux.find(Index);
    if (it == canaux.end())
        return Ferme;
    const Canal& canal = it->second;
    if (canal.enErreur)
        return Erreur;
    if (canal.parti)
        return FermetureParHomologue;
    return canal.descripteur >= 0 ? Connecte : Ferme;
}

void CoucheSocketEpoll::pret(int descripteur, std::uint32_t ev)
{
    if (descripteur == ecoute) {
        accepte();
        return;
    }
    if (const auto f = fermetures.find(descripteur); f != fermetures.end()) {
        Fermeture& fermeture = f->second;
        const qsizetype reste = fermeture.aEnvoyer.size() - fermeture.envoye;
        const ssize_t n =
            (ev & EPOLLOUT) != 0U
                ? ::send(descripteur, fermeture.aEnvoyer.constData() + fermeture.envoye,
                         size_t(reste), MSG_NOSIGNAL | MSG_DONTWAIT)
                : -1;
        if (n > 0)
            fermeture.envoye += qsizetype(n);
        const bool fini = fermeture.envoye >= fermeture.aEnvoyer.size();
        if (fini || (n < 0 && errno != EAGAIN && errno != EINTR)
            || (ev & (EPOLLERR | EPOLLHUP)) != 0U) {
            fermetures.erase(f);
            lache(descripteur);
        }
        return;
    }
    const auto i = indexParDescripteur.find(descripteur);
    if (i == indexParDescripteur.end())
        return;
    const int Index = i->second;
    // Each step may close the channel, or even hand its element to a new client.
    auto encoreLa = [&]() -> Canal* {
        const auto c = canaux.find(Index);
        return c != canaux.end() && c->second.descripteur == descripteur ? &c->second : nullptr;
    };
    if ((ev & (EPOLLIN | EPOLLERR | EPOLLHUP)) != 0U)
        if (Canal* canal = encoreLa())
            lit(Index, *canal);
    if ((ev & EPOLLOUT) != 0U)
        if (Canal* canal = encoreLa())
            ecrit(Index, *canal);
}

void CoucheSocketEpoll::lit(int Index, Canal& canal)
{
    const qint64 place = LectureMax - canal.recu.size();
    if (canal.lectureSuspendue || place <= 0) {
        // Not reading: a reset still ends the channel, or epoll would report it again and again.
        int erreur = 0;
        socklen_t taille = sizeof erreur;
        ::getsockopt(canal.descripteur, SOL_SOCKET, SO_ERROR, &erreur, &taille);
        if (erreur != 0)
            clientParti(Index, canal);
        else
            surveille(Index, canal);
        return;
    }
    const qsizetype avant = canal.recu.size();
    canal.recu.resize(avant + qsizetype(place));
    const ssize_t n = ::read(canal.descripteur, canal.recu.data() + avant, size_t(place));
    canal.recu.resize(avant + (n > 0 ? qsizetype(n) : 0));
    if (n > 0) {
        surveille(Index, canal);
        arrivee(Index);
        return;
    }
    if (n == 0 || departDuClient(errno)) {
        clientParti(Index, canal);
        return;
    }
    if (errno != EAGAIN && errno != EINTR)
        erreurCanal(Index, canal, int(QAbstractSocket::NetworkError),
                    QString::fromLocal8Bit(std::strerror(errno)));
}

void CoucheSocketEpoll::ecrit(int Index, Canal& canal)
{
    if (canal.enAttente() > 0) {
        const ssize_t n = ::send(canal.descripteur, canal.aEnvoyer.constData() + canal.envoye,
                                 size_t(canal.enAttente()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (departDuClient(errno))
                clientParti(Index, canal);
            else if (errno != EAGAIN && errno != EINTR)
                erreurCanal(Index, canal, int(QAbstractSocket::NetworkError),
                            QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        canal.envoye += qsizetype(n);
        if (canal.envoye == canal.aEnvoyer.size()) {
            canal.aEnvoyer.resize(0);
            canal.envoye = 0;
        }
    }
    const qint64 restant = canal.enAttente();
    if (canal.lectureSuspendue && restant < SeuilReprise) {
        canal.lectureSuspendue = false;
        // What arrived meanwhile is taken now, as its own arrival, outside the write handler.
        if (!canal.recu.isEmpty())
            arriveePlusTard(Index);
    }
    surveille(Index, canal);
    // Last: the receiver may send on the channel, or close it.
    if (evenements != nullptr)
        evenements->WSserveur_SendProgress(Index, restant);
}

// The client closed or reset its connection: the descriptor goes at once (after what is queued
// for it, which a half-closed client still reads), and the channel reads as closing until it is
// released. What it sent and nobody took stays with the channel.
void CoucheSocketEpoll::clientParti(int Index, Canal& canal)
{
    const int descripteur = std::exchange(canal.descripteur, -1);
    indexParDescripteur.erase(descripteur);
    canal.parti = true;
    ferme(descripteur, std::exchange(canal.aEnvoyer, QByteArray()), std::exchange(canal.envoye, 0));
    if (evenements != nullptr)
        evenements->WSserveur_Close(Index);
}

void CoucheSocketEpoll::erreurCanal(int Index, Canal& canal, int numero, const QString& description)
{
    const int descripteur = std::exchange(canal.descripteur, -1);
    indexParDescripteur.erase(descripteur);
    canal.enErreur = true;
    lache(descripteur);
    if (evenements != nullptr)
        evenements->WSserveur_Error(Index, numero, description);
}

void CoucheSocketEpoll::arrivee(int Index)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end())
        return;
    const Canal& canal = it->second;
    if (canal.lectureSuspendue || canal.lectureBloquee || canal.lectureRetenue
        || canal.recu.isEmpty() || evenements == nullptr)
        return;
    evenements->WSserveur_DataArrival(Index, canal.recu.size());
}

void CoucheSocketEpoll::arriveePlusTard(int Index)
{
    QTimer::singleShot(0, this, [this, Index] { arrivee(Index); });
}

void CoucheSocketEpoll::surveille(int /*Index*/, const Canal& canal)
{
    if (canal.descripteur < 0)
        return;
    std::uint32_t ev = 0;
    if (!canal.lectureSuspendue && canal.recu.size() < LectureMax)
        ev |= EPOLLIN;
    if (canal.enAttente() > 0)
        ev |= EPOLLOUT;
    boucle.modifie(canal.descripteur, ev);
}

// What arrives on a stalled channel waits (64 KiB with the channel, then in the system) and is
// taken whole, as one arrival, when reading starts again; also when its client has left
// meanwhile.
void CoucheSocketEpoll::SuspendLecture(int Index, bool suspendue)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end() || (it->second.descripteur < 0 && it->second.recu.isEmpty()))
        return;
    it->second.lectureBloquee = suspendue;
    if (!suspendue && !it->second.recu.isEmpty())
        arriveePlusTard(Index);
}

void CoucheSocketEpoll::RetientLecture(int Index, bool retenue)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end() || it->second.descripteur < 0)
        return;
    it->second.lectureRetenue = retenue;
    if (!retenue && !it->second.recu.isEmpty())
        arriveePlusTard(Index);
}

qint64 CoucheSocketEpoll::octetsEnAttente(int Index) const
{
    const auto it = canaux.find(Index);
    return it == canaux.end() ? 0 : it->second.enAttente();
}

QString CoucheSocketEpoll::RemoteHostIP(int Index) const
{
    const auto it = canaux.find(Index);
    return it == canaux.end() ? QString() : it->second.adresseClient;
}

quint16 CoucheSocketEpoll::RemotePort(int Index) const
{
    const auto it = canaux.find(Index);
    return it == canaux.end() ? 0 : it->second.portClient;
}

QString CoucheSocketEpoll::GetData(int Index)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end())
        return {};
    Canal& canal = it->second;
    QString texte = QString::fromLatin1(canal.recu);
    const bool etaitPlein = canal.recu.size() >= LectureMax;
    canal.recu.resize(0);
    if (etaitPlein)
        surveille(Index, canal);
    return texte;
}

void CoucheSocketEpoll::SendData(int Index, const QString& donnees)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end() || it->second.descripteur < 0 || it->second.enErreur)
        return;
    Canal& canal = it->second;

    // One byte per character, as toLatin1 gives them, into a buffer kept from reply to reply.
    octetsAEnvoyer.resize(donnees.size());
    char* octet = octetsAEnvoyer.data();
    for (const QChar c : donnees)
        *octet++ = c.unicode() > 0xFF ? '?' : char(c.unicode());

    // Nothing queued before them: the bytes go straight to the system, which takes the whole
    // reply unless the client has stopped reading. Whatever it does not take is queued in
    // order; an error is found and reported by the next write, outside the receiver's call.
    qsizetype envoye = 0;
    if (canal.enAttente() == 0 && !octetsAEnvoyer.isEmpty()) {
        const ssize_t n = ::send(canal.descripteur, octetsAEnvoyer.constData(),
                                 size_t(octetsAEnvoyer.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            envoye = qsizetype(n);
    }
    if (envoye < octetsAEnvoyer.size()) {
        canal.aEnvoyer.append(octetsAEnvoyer.constData() + envoye, octetsAEnvoyer.size() - envoye);
        if (!canal.lectureSuspendue && canal.enAttente() > SeuilSuspension)
            canal.lectureSuspendue = true;
        if (canal.enAttente() > SeuilBlocage && !surveillance.isActive())
            surveillance.start();
        surveille(Index, canal);
    }
    if (octetsAEnvoyer.capacity() > LectureMax)
        octetsAEnvoyer = QByteArray();
}

void CoucheSocketEpoll::Close(int Index)
{
    if (Index == 0) {
        if (ecoute >= 0)
            lache(std::exchange(ecoute, -1));
        return;
    }
    const auto it = canaux.find(Index);
    if (it == canaux.end())
        return;
    Canal canal = std::exchange(it->second, Canal{});
    if (canal.descripteur >= 0) {
        indexParDescripteur.erase(canal.descripteur);
        ferme(canal.descripteur, std::move(canal.aEnvoyer), canal.envoye);
    }
}

void CoucheSocketEpoll::Abort(int Index)
{
    const auto it = canaux.find(Index);
    if (it != canaux.end() && it->second.descripteur >= 0) {
        const int descripteur = std::exchange(it->second.descripteur, -1);
        indexParDescripteur.erase(descripteur);
        boucle.retire(descripteur);
        // No lingering: the close sends a reset, not the orderly end of the stream.
        const linger sansAttente{1, 0};
        ::setsockopt(descripteur, SOL_SOCKET, SO_LINGER, &sansAttente, sizeof sansAttente);
        ::close(descripteur);
    }
    Close(Index);
}

// The element is free at once; the descriptor itself goes when its queued bytes have left.
void CoucheSocketEpoll::ferme(int descripteur, QByteArray aEnvoyer, qsizetype envoye)
{
    if (envoye >= aEnvoyer.size()) {
        lache(descripteur);
        return;
    }
    boucle.modifie(descripteur, EPOLLOUT);
    fermetures[descripteur] = Fermeture{std::move(aEnvoyer), envoye, horloge.elapsed()};
    if (!surveillance.isActive())
        surveillance.start();
}

void CoucheSocketEpoll::lache(int descripteur)
{
    boucle.retire(descripteur);
    ::close(descripteur);
    if (!descripteursLiberes) {
        descripteursLiberes = true;
        if (!surveillance.isActive())
            surveillance.start();
    }
}

void CoucheSocketEpoll::surveilleBlocages()
{
#ifdef __GLIBC__
    // After a crowd of clients has gone, what their buffers held goes back to the system
    // instead of staying in the process for good.
    if (descripteursLiberes)
        malloc_trim(0);
#endif
    descripteursLiberes = false;
    const qint64 maintenant = horloge.elapsed();
    termineFermetures();
    QList<int> bloques;
    bool aSurveiller = !fermetures.empty();
    for (auto& [index, canal] : canaux) {
        if (canal.descripteur < 0 || canal.enAttente() <= SeuilBlocage) {
            canal.bloqueDepuisMs = -1;
            continue;
        }
        aSurveiller = true;
        if (canal.bloqueDepuisMs < 0)
            canal.bloqueDepuisMs = maintenant;
        else if (maintenant - canal.bloqueDepuisMs >= delaiBlocageMs)
            bloques << index;
    }
    for (int index : bloques) {
        const qint64 enAttenteEnvoi = canaux[index].enAttente();
        // Its queued output is dropped, and the close must not read as the client's own.
        const int descripteur = std::exchange(canaux[index].descripteur, -1);
        indexParDescripteur.erase(descripteur);
        lache(descripteur);
        Close(index);
        if (evenements != nullptr)
            evenements->WSserveur_Error(
                index, ErreurClientBloque,
                QStringLiteral("le client ne lit plus ses réponses (%1 octets en attente depuis "
                               "%2 s), liaison fermée")
                    .arg(enAttenteEnvoi)
                    .arg(delaiBlocageMs / 1000.0));
    }
    if (!aSurveiller && !descripteursLiberes)
        surveillance.stop();
}

void CoucheSocketEpoll::termineFermetures()
{
    const qint64 maintenant = horloge.elapsed();
    for (auto f = fermetures.begin(); f != fermetures.end();) {
        if (maintenant - f->second.depuisMs < DelaiFermetureMs) {
            ++f;
            continue;
        }
        const int descripteur = f->first;
        f = fermetures.erase(f);
        boucle.retire(descripteur);
        refuse(descripteur);
    }
}
