#include "EtatAppareil.h"

#include "trace/Horloge.h"
#include "trace/Horodatage.h"

EtatAppareil::EtatAppareil(SortieMessages& journal_, QObject* parent)
    : QObject(parent), journal(journal_)
{
}

void EtatAppareil::AfficheMessage(const QString& message)
{
    journal.AfficheMessage(message);
}

void EtatAppareil::setModeSimulation(ModeSimulation nouveau)
{
    if (mode == nouveau)
        return;
    mode = nouveau;
    emit change();
    emit modeChange();
}

bool EtatAppareil::modeConnu(const QString& texte) const
{
    return modeDeNom(texte) != ModeSimulation::Aucun;
}

bool EtatAppareil::selectionneMode(const QString& texte)
{
    const ModeSimulation nouveau = modeDeNom(texte);
    if (nouveau == ModeSimulation::Aucun)
        return false;
    setModeSimulation(nouveau);
    return true;
}

void EtatAppareil::setLbl_LiaisonValide(const QString& legende, quint32 fondRgb)
{
    if (liaison == legende && fondLiaisonRgb == fondRgb)
        return;
    liaison = legende;
    fondLiaisonRgb = fondRgb;
    emit change();
}

void EtatAppareil::reinitialiseControles()
{
    for (QString* position : {&posDemX, &posDemZ, &posRelleX, &posRelleZ})
        change_(*position, QStringLiteral("0"));
    for (bool* drapeau : {&homingX, &homingZ, &tpNon0})
        change_(*drapeau, false);
    change_(valeurLu, QStringLiteral("500"));
    setModeSimulation(modeDepart);
}

void EtatAppareil::efface()
{
    AfficheMessage(QStringLiteral("clear"));
    AfficheMessage(Horodatage(false, HorlogeSysteme::instance()) + QStringLiteral(" clear"));
}
