#pragma once

#include <QString>

// Where a reply goes: the channel of the data arrival being analysed.
class CanalReponse
{
public:
    virtual ~CanalReponse() = default;

    // Sends on CanalCourant, the channel of the text being analysed. When that channel has lost
    // its client, the reply is dropped and CanalCourant itself becomes 0: the rest of the
    // failure handling then applies to element 0, the listener.
    virtual bool EnvoieSurCanal(const QString& chaine) = 0;
};
