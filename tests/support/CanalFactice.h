#pragma once

#include "sim/CanalReponse.h"

#include <QList>
#include <QString>

// Records every reply with the channel it was sent on.
class CanalFactice : public CanalReponse
{
public:
    struct Envoi
    {
        int canal;
        QString chaine;
    };
    int canalCourant = 1;
    QList<Envoi> envois;

    bool EnvoieSurCanal(const QString& chaine) override
    {
        envois.append({canalCourant, chaine});
        return true;
    }
};
