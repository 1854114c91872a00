#include "SortieDefaillante.h"

#include "Planificateur.h"

SortieDefaillante::SortieDefaillante(Operations operations_, Planificateur& planificateur_)
    : operations(std::move(operations_)), planificateur(planificateur_)
{
}

bool SortieDefaillante::occupe(int canal, quint64 connexion) const
{
    if (enAttente == 0)
        return false;
    const auto it = files.find(canal);
    return it != files.end() && it->second.connexion == connexion && !it->second.morceaux.empty();
}

bool SortieDefaillante::finPrevue(int canal, quint64 connexion) const
{
    const auto it = files.find(canal);
    return it != files.end() && it->second.connexion == connexion && it->second.finPrevue;
}

void SortieDefaillante::envoie(int canal, quint64 connexion, const QString& reponse,
                               const DecisionReponse& d)
{
    File& file = files[canal];
    if (file.connexion != connexion) {
        enAttente -= qsizetype(file.morceaux.size());
        file = File{connexion, file.jeton + 1, false, {}, false};
    }
    using Fin = DecisionReponse::Fin;
    if (d.bloqueMs > 0)
        bloque(canal, connexion, d.bloqueMs);

    // A replacement goes out even for a request that had no reply of its own.
    const bool sansReponse = d.supprime || d.fin == Fin::FermeAvant || d.fin == Fin::Reinitialise
                             || (reponse.isEmpty() && !d.remplace);
    const QString octets = sansReponse ? QString() : d.transforme(reponse);
    // The reply in as many pieces as asked (never an empty one), the first after the delay.
    const qsizetype morceaux =
        std::max<qsizetype>(1, std::min<qsizetype>(d.morceaux, octets.size()));
    for (qsizetype i = 0; i < morceaux; ++i) {
        const qsizetype debut = octets.size() * i / morceaux;
        const qsizetype fin = octets.size() * (i + 1) / morceaux;
        file.morceaux.push_back({i == 0 ? d.delaiMs : d.ecartMs, octets.mid(debut, fin - debut)});
        ++enAttente;
    }
    file.morceaux.back().fin = d.fin;
    file.finPrevue = file.finPrevue || d.fin != Fin::Aucune;
    if (!file.programme)
        suivant(canal);
}

// Runs what is due on the channel, in order; what must wait is planned, and the rest follows
// it.
void SortieDefaillante::suivant(int canal)
{
    File& file = files[canal];
    while (!file.morceaux.empty()) {
        Morceau& tete = file.morceaux.front();
        if (tete.apresMs > 0) {
            const double attente = tete.apresMs;
            tete.apresMs = 0;
            file.programme = true;
            const quint64 jeton = file.jeton;
            planificateur.apres(attente, [this, canal, jeton] {
                File& f = files[canal];
                if (f.jeton != jeton)
                    return;
                f.programme = false;
                suivant(canal);
            });
            return;
        }
        const Morceau morceau = tete;
        const quint64 connexion = file.connexion;
        file.morceaux.pop_front();
        --enAttente;
        if (operations.toujours(canal, connexion))
            execute(canal, morceau);
        // What was sent may have let events run: the file is looked up again.
        if (files[canal].connexion != connexion)
            return;
    }
}

void SortieDefaillante::execute(int canal, const Morceau& morceau)
{
    using Fin = DecisionReponse::Fin;
    if (!morceau.octets.isEmpty())
        operations.envoie(canal, morceau.octets);
    if (morceau.fin == Fin::FermeAvant || morceau.fin == Fin::FermeApres)
        operations.ferme(canal);
    else if (morceau.fin == Fin::Reinitialise)
        operations.interrompt(canal);
}

void SortieDefaillante::bloque(int canal, quint64 connexion, double ms)
{
    auto& blocage = blocages[canal];
    if (blocage.first != connexion)
        blocage = {connexion, 0};
    ++blocage.second;
    operations.suspendLecture(canal, true);
    planificateur.apres(ms, [this, canal, connexion] {
        const auto it = blocages.find(canal);
        if (it == blocages.end() || it->second.first != connexion)
            return;
        if (--it->second.second > 0)
            return;
        blocages.erase(it);
        // What a client that left meanwhile had sent is read all the same.
        if (operations.connexion(canal) == connexion)
            operations.suspendLecture(canal, false);
    });
}

bool SortieDefaillante::bloquee(int canal, quint64 connexion) const
{
    const auto it = blocages.find(canal);
    return it != blocages.end() && it->second.first == connexion && it->second.second > 0;
}
