#include "DecoupeurTrames.h"

DecoupeurTrames::Resultat DecoupeurTrames::decoupe(int canal, quint64 connexion,
                                                   const QString& recu)
{
    Resultat resultat;
    Tampon& tampon = tampons[canal];
    if (tampon.connexion != connexion)
        tampon = Tampon{connexion, {}};
    tampon.octets += recu;
    qsizetype debut = 0;
    for (qsizetype cr = tampon.octets.indexOf(QLatin1Char('\r')); cr >= 0;
         cr = tampon.octets.indexOf(QLatin1Char('\r'), debut)) {
        resultat.requetes << tampon.octets.mid(debut, cr + 1 - debut);
        debut = cr + 1;
        // A host that ends its requests in CR LF: the LF belongs to the request before.
        if (debut < tampon.octets.size() && tampon.octets[debut] == QLatin1Char('\n'))
            ++debut;
    }
    tampon.octets.remove(0, debut);
    if (tampon.octets.size() > TailleMax) {
        resultat.ecartes = tampon.octets.size();
        tampon.octets.clear();
    }
    return resultat;
}
