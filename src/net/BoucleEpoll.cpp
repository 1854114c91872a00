#include "BoucleEpoll.h"

#include <array>
#include <cerrno>
#include <sys/epoll.h>
#include <unistd.h>

BoucleEpoll::BoucleEpoll(QObject* parent) : QObject(parent), epoll(::epoll_create1(EPOLL_CLOEXEC))
{
    if (epoll < 0)
        return;
    notificateur = new QSocketNotifier(epoll, QSocketNotifier::Read, this);
    connect(notificateur, &QSocketNotifier::activated, this, &BoucleEpoll::sert);
}

BoucleEpoll::~BoucleEpoll()
{
    delete notificateur;
    if (epoll >= 0)
        ::close(epoll);
}

bool BoucleEpoll::ajoute(int descripteur, std::uint32_t evenements,
                         ObservateurDescripteur& observateur)
{
    if (epoll < 0 || descripteur < 0) {
        errno = EBADF;
        return false;
    }
    epoll_event ev{};
    ev.events = evenements;
    ev.data.fd = descripteur;
    if (::epoll_ctl(epoll, EPOLL_CTL_ADD, descripteur, &ev) != 0)
        return false;
    if (std::size_t(descripteur) >= inscrits.size())
        inscrits.resize(std::size_t(descripteur) + 1);
    inscrits[std::size_t(descripteur)] = Inscription{&observateur, evenements};
    return true;
}

void BoucleEpoll::modifie(int descripteur, std::uint32_t evenements)
{
    if (descripteur < 0 || std::size_t(descripteur) >= inscrits.size())
        return;
    Inscription& inscription = inscrits[std::size_t(descripteur)];
    if (inscription.observateur == nullptr || inscription.evenements == evenements)
        return;
    epoll_event ev{};
    ev.events = evenements;
    ev.data.fd = descripteur;
    if (::epoll_ctl(epoll, EPOLL_CTL_MOD, descripteur, &ev) == 0)
        inscription.evenements = evenements;
}

void BoucleEpoll::retire(int descripteur)
{
    if (descripteur < 0 || std::size_t(descripteur) >= inscrits.size()
        || inscrits[std::size_t(descripteur)].observateur == nullptr)
        return;
    ::epoll_ctl(epoll, EPOLL_CTL_DEL, descripteur, nullptr);
    inscrits[std::size_t(descripteur)] = Inscription{};
}

void BoucleEpoll::sert()
{
    std::array<epoll_event, LotMax> prets{};
    const int n = ::epoll_wait(epoll, prets.data(), int(prets.size()), 0);
    for (int i = 0; i < n; ++i) {
        const int d = prets[std::size_t(i)].data.fd;
        // An observer may have let go of a descriptor served earlier in this batch (and the
        // number may even be someone else's by now): what is registered now decides, and a
        // readiness meant for the old one costs the new one a call that finds nothing.
        if (std::size_t(d) >= inscrits.size() || inscrits[std::size_t(d)].observateur == nullptr)
            continue;
        inscrits[std::size_t(d)].observateur->pret(d, prets[std::size_t(i)].events);
    }
}
