#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <cstdint>
#include <vector>

// Told when a descriptor it watches is ready.
class ObservateurDescripteur
{
public:
    virtual ~ObservateurDescripteur() = default;
    // `evenements` are epoll's bits (EPOLLIN, EPOLLOUT, EPOLLERR, EPOLLHUP, EPOLLRDHUP).
    virtual void pret(int descripteur, std::uint32_t evenements) = 0;
};

// One epoll set for the process's device sockets, watched by the event loop through a single
// notifier: a pass of the loop then costs the same with 10 sockets or 10,000, where Qt's own
// notifiers are polled one by one at every pass. Level-triggered; at most `LotMax` descriptors
// are served per pass so that timers and the control port still get their turn under load.
class BoucleEpoll : public QObject
{
    Q_OBJECT

public:
    static constexpr int LotMax = 256;

    explicit BoucleEpoll(QObject* parent = nullptr);
    ~BoucleEpoll() override;
    BoucleEpoll(const BoucleEpoll&) = delete;
    BoucleEpoll& operator=(const BoucleEpoll&) = delete;

    bool valide() const { return epoll >= 0; }
    // Watches `descripteur` for `evenements`; false (errno set) when the system refuses.
    bool ajoute(int descripteur, std::uint32_t evenements, ObservateurDescripteur& observateur);
    // Changes what is watched; nothing when the descriptor is not watched.
    void modifie(int descripteur, std::uint32_t evenements);
    // Stops watching; call before closing the descriptor.
    void retire(int descripteur);

private:
    void sert();

    struct Inscription
    {
        ObservateurDescripteur* observateur = nullptr;
        std::uint32_t evenements = 0;
    };

    int epoll = -1;
    QSocketNotifier* notificateur = nullptr;
    // Indexed by descriptor: the system hands out the lowest free numbers.
    std::vector<Inscription> inscrits;
};
