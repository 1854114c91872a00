// Request analysis behind the window fake. The first byte chooses the mode (its two low bits),
// the operator's check boxes (the next three) and how the other bytes arrive (the next two).
#include "OutilsFuzz.h"
#include "sim/AnalyseurRequetes.h"
#include "sim/ConversionsTrame.h"
#include "sim/MouvementAxes.h"
#include "support/CanalFactice.h"
#include "support/HorlogeFigee.h"
#include "support/PanneauFactice.h"

#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>

namespace {

const QChar ESC(27);
const QChar CR(13);

constexpr std::array<const char*, 4> modes = {"automateOMRON", "moduleLASERS", "modeMUET",
                                              "modeECHO"};

void verifieReponse(int mode, const QString& recu, const QString& reponse)
{
    switch (mode) {
    case 0:
        exige(reponse.size() >= 3 && reponse.front() == ESC && reponse.back() == CR,
              "une reponse de l'automate est ESC ... CR", reponse);
        break;
    case 1: {
        exige(reponse.size() >= 4 && reponse.front() == QLatin1Char('/') && reponse.back() == CR,
              "une reponse du module laser est / ... CR", reponse);
        const QString payload = reponse.mid(1, reponse.size() - 4);
        exige(reponse.mid(reponse.size() - 3, 2) == ComCalculCStarvik2(payload),
              "le checksum d'une reponse laser couvre son contenu", reponse);
        break;
    }
    case 2: exige(false, "le mode muet ne repond jamais", reponse); break;
    default: exige(reponse == recu, "le mode echo renvoie le texte tel quel", reponse); break;
    }
}

// With the "several texts" bit, the text is cut after each CR into arrivals analysed in turn,
// the axes moving one step between them, so that requests act on what earlier ones left.
QStringList arrivees(const QString& recu, bool plusieurs)
{
    if (!plusieurs)
        return {recu};
    QStringList textes;
    qsizetype debut = 0;
    for (qsizetype i = 0; i < recu.size(); ++i) {
        if (recu.at(i) == CR) {
            textes << recu.mid(debut, i + 1 - debut);
            debut = i + 1;
        }
    }
    if (debut < recu.size())
        textes << recu.mid(debut);
    return textes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int mode = data[0] & 3;
    PanneauFactice panneau;
    panneau.mode = QString::fromLatin1(modes[std::size_t(mode)]);
    panneau.homingX = (data[0] & 4) != 0;
    panneau.homingZ = (data[0] & 8) != 0;
    panneau.tpNon0 = (data[0] & 16) != 0;
    CanalFactice canal;
    HorlogeFigee horloge;
    AnalyseurRequetes analyseur(panneau, canal, horloge);

    QStringList textes = arrivees(enLatin1(data + 1, size - 1), (data[0] & 32) != 0);
    // The operator may type anything as the laser's value: then the first piece, to its CR.
    if ((data[0] & 64) != 0 && !textes.isEmpty()) {
        panneau.valeurLu = textes.takeFirst();
        if (panneau.valeurLu.endsWith(CR))
            panneau.valeurLu.chop(1);
    }

    for (const QString& recu : textes) {
        const qsizetype avant = canal.envois.size();
        analyseur.AnalyseChaineRecu(recu);
        exige(canal.envois.size() <= avant + 1, "au plus une reponse par texte recu", recu);
        if (canal.envois.size() > avant)
            verifieReponse(mode, recu, canal.envois.back().chaine);
        else
            exige(mode != 3 || recu.isEmpty(), "le mode echo repond a tout texte non vide");
        Timer_Deplacement_Timer(panneau);
    }

    // What the requests stored then goes through the axis motion and the position report.
    if (mode == 0) {
        for (int pas = 0; pas < 3; ++pas)
            Timer_Deplacement_Timer(panneau);
        const qsizetype avant = canal.envois.size();
        analyseur.AnalyseChaineRecu(ESC + QStringLiteral("P1") + CR);
        exige(canal.envois.size() == avant + 1 && canal.envois.back().chaine.size() == 20,
              "une demande de position recoit toujours 20 octets");
    }
    return 0;
}
