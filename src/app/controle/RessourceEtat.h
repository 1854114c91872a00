#pragma once

#include "Route.h"

class ChampsControle;

// GET /state and PATCH /state: what the window shows, and the controls a script may set.
class RessourceEtat : public RessourceControle
{
public:
    RessourceEtat(ChampsControle& champs_, SortieMessages& journal_)
        : champs(champs_), journal(journal_)
    {
    }
    QList<Route> routes() override;

private:
    QHttpServerResponse modifie(const QByteArray& corps);

    ChampsControle& champs;
    SortieMessages& journal;
};
