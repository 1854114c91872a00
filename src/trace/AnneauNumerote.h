#pragma once

#include <QList>
#include <QtGlobal>

#include <algorithm>
#include <deque>

// Lines numbered from 1 as they come, the newest kept: at most `nombreMax` of them, and no more
// than `tailleMax` characters in all unless the newest alone is larger (it is always kept, so
// that a reader sees what just came). A reader asks for what came after the last number it saw
// and is told how many it missed. `Ligne` is a QString or a QByteArray.
template <typename Ligne> class AnneauNumerote
{
public:
    AnneauNumerote(qsizetype nombreMax_, qsizetype tailleMax_)
        : nombreMax(nombreMax_), tailleMax(tailleMax_)
    {
    }

    void ajoute(Ligne ligne)
    {
        ++nombre;
        taille += ligne.size();
        lignes.push_back(std::move(ligne));
        while (qsizetype(lignes.size()) > nombreMax || (taille > tailleMax && lignes.size() > 1)) {
            taille -= lignes.front().size();
            lignes.pop_front();
        }
    }

    // Number of lines so far.
    qint64 total() const { return nombre; }
    // Number of the oldest line still kept (total() + 1 when none is).
    qint64 premierGarde() const { return nombre - qint64(lignes.size()) + 1; }

    // `apres` is clamped to the total before anything is added to it: a reader may send any
    // number, up to the largest there is.
    qint64 premierApres(qint64 apres) const
    {
        return std::max(std::min(apres, nombre) + 1, premierGarde());
    }
    // How many lines above `apres` are no longer kept.
    qint64 perduesApres(qint64 apres) const
    {
        return std::max<qint64>(0, premierGarde() - 1 - std::min(apres, nombre));
    }
    // The kept lines numbered above `apres`.
    QList<Ligne> depuis(qint64 apres) const
    {
        QList<Ligne> resultat;
        const qint64 premier = premierGarde();
        for (qint64 numero = premierApres(apres); numero <= nombre; ++numero)
            resultat << lignes[std::size_t(numero - premier)];
        return resultat;
    }

private:
    qsizetype nombreMax;
    qsizetype tailleMax;
    std::deque<Ligne> lignes;
    qsizetype taille = 0;
    qint64 nombre = 0;
};
