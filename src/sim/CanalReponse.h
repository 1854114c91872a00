#pragma once

#include <QString>

// Where a reply goes: the channel server's current channel and its send operation.
class CanalReponse
{
public:
    virtual ~CanalReponse() = default;

    // The channel of the data arrival being analysed; 0 means none.
    virtual int& CanalCourant() = 0;
    // canal is the caller's variable itself: a failed send may reset it.
    virtual bool EnvoieSurCanal(int& canal, const QString& chaine) = 0;
};
