#include "AideLigneCommande.h"

#include "LigneCommande.h"

QStringList lignesAide()
{
    const auto& cles = clesLigneCommande();
    QStringList usage;
    for (int numero = 0;; ++numero) {
        QStringList ligne;
        for (const CleLigneCommande& cle : cles) {
            if (cle.ligneUsage == numero)
                ligne << QString::fromUtf8(cle.usage);
        }
        if (ligne.isEmpty())
            break;
        usage << (numero == 0 ? QStringLiteral("velorin ") : QString(8, QLatin1Char(' ')))
                     + ligne.join(QLatin1Char(' '));
    }
    usage << QStringLiteral("        [?] [--help] [--version] [--check-health url]");
    for (const CleLigneCommande& cle : cles)
        usage << QString::fromUtf8(cle.aide);
    usage << QStringLiteral("    ?                    affiche cette aide au démarrage")
          << QStringLiteral("    --help, -h           affiche cette aide et s'arrête")
          << QStringLiteral("    --version            affiche la version et s'arrête")
          << QStringLiteral("    --check-health url   demande url (http://127.0.0.1:port/health) : "
                            "0 si elle répond 200, 1 sinon")
          << QStringLiteral("    VELORIN_CLÉ=valeur   dans l'environnement : une clé absente des "
                            "arguments (VELORIN_PORTIP=10001)");
    return usage;
}

QString texteVersion()
{
    return QStringLiteral("velorin " VELORIN_VERSION);
}
