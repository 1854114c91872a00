#include "ArgumentsRejeu.h"

std::variant<Demande, QString> litArguments(const QStringList& arguments, OptionsRejeu& options)
{
    QStringList positionnels;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            return Demande::Aide;
        if (a == QLatin1String("--version"))
            return Demande::Version;
    }
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString a = arguments[i];
        QString valeur;
        bool valeurJointe = false;
        if (a.startsWith(QLatin1String("--")) && a.contains(QLatin1Char('='))) {
            valeur = a.mid(a.indexOf(QLatin1Char('=')) + 1);
            a = a.left(a.indexOf(QLatin1Char('=')));
            valeurJointe = true;
        }
        const auto prendValeur = [&]() -> std::optional<QString> {
            if (valeurJointe)
                return valeur;
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments[++i];
        };
        if (a == QLatin1String("--json") && !valeurJointe) {
            options.json = true;
        } else if (a == QLatin1String("--timing")) {
            const auto v = prendValeur();
            if (v != QLatin1String("recorded"))
                return QStringLiteral("--timing attend recorded");
            options.tempsEnregistre = true;
        } else if (a == QLatin1String("--timeout-ms")) {
            const auto v = prendValeur();
            bool ok = false;
            const int n = v ? v->toInt(&ok) : 0;
            if (!ok || n <= 0)
                return QStringLiteral(
                    "--timeout-ms attend un nombre de millisecondes supérieur à 0");
            options.delaiMs = n;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return QStringLiteral("option inconnue : %1").arg(arguments[i]);
        } else {
            positionnels.append(a);
        }
    }
    if (positionnels.size() != 2)
        return QStringLiteral("un journal et une adresse HOTE:PORT sont attendus");
    const auto adresse = litHotePort(positionnels[1]);
    if (!adresse)
        return QStringLiteral("adresse invalide : %1 (HOTE:PORT, ou [adresse IPv6]:PORT)")
            .arg(positionnels[1]);
    options.journal = positionnels[0];
    options.hote = adresse->hote;
    options.port = adresse->port;
    return Demande::Rejeu;
}

QStringList lignesAideRejeu()
{
    return {
        QStringLiteral(
            "velorin-rejoue [--timing recorded] [--json] [--timeout-ms N] journal.jsonl HOTE:PORT"),
        QStringLiteral(
            "    rejoue les requêtes d'un journal de trafic vers l'appareil HOTE:PORT ([::1]:PORT en IPv6)"),
        QStringLiteral("    et compare chaque réponse reçue à celle du journal, octet par octet"),
        QStringLiteral(
            "    --timing recorded    garde les écarts enregistrés entre les requêtes (sinon au plus vite)"),
        QStringLiteral("    --json               rapport en un document JSON"),
        QStringLiteral(
            "    --timeout-ms N       attente maximale de chaque réponse, en ms (2000 par défaut)"),
        QStringLiteral("    --help, -h           affiche cette aide et s'arrête"),
        QStringLiteral("    --version            affiche la version et s'arrête"),
        QStringLiteral(
            "    statut : 0 toutes les réponses concordent, 1 une au moins diffère, 2 journal invalide,"),
        QStringLiteral("             appareil injoignable ou arguments invalides"),
    };
}

QString texteVersionRejeu()
{
    return QStringLiteral("velorin-rejoue " VELORIN_VERSION);
}
