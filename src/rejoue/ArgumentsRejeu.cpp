#include "ArgumentsRejeu.h"

#include "trace/LectureJournal.h"

#include <algorithm>

namespace {

// NOM=HOTE:PORT, or why not.
std::variant<AdresseAppareil, QString> litAdresseAppareil(const QString& texte)
{
    const qsizetype egal = texte.indexOf(QLatin1Char('='));
    const QString nom = texte.left(egal);
    if (!nomAppareilValide(nom))
        return QStringLiteral("nom d'appareil invalide : %1 (lettres, chiffres, - et _)").arg(nom);
    const auto adresse = litHotePort(texte.mid(egal + 1));
    if (!adresse)
        return QStringLiteral("adresse invalide : %1 (NOM=HOTE:PORT, ou NOM=[adresse IPv6]:PORT)")
            .arg(texte);
    return AdresseAppareil{nom, *adresse};
}

// The positional arguments after the journal: one HOTE:PORT, or NOM=HOTE:PORT for each device.
std::optional<QString> litAdresses(const QStringList& adresses, OptionsRejeu& options)
{
    const bool nommees = std::any_of(adresses.begin(), adresses.end(),
                                     [](const QString& a) { return a.contains(QLatin1Char('=')); });
    if (!options.fichierPret.isEmpty()) {
        if (!adresses.isEmpty())
            return QStringLiteral("--ready donne les adresses : aucune autre n'est attendue (%1)")
                .arg(adresses.first());
        return std::nullopt;
    }
    if (!nommees) {
        if (adresses.size() != 1)
            return QStringLiteral("un journal et une adresse HOTE:PORT sont attendus");
        const auto adresse = litHotePort(adresses.first());
        if (!adresse)
            return QStringLiteral("adresse invalide : %1 (HOTE:PORT, ou [adresse IPv6]:PORT)")
                .arg(adresses.first());
        options.hote = adresse->hote;
        options.port = adresse->port;
        return std::nullopt;
    }
    for (const QString& texte : adresses) {
        if (!texte.contains(QLatin1Char('=')))
            return QStringLiteral("%1 : chaque adresse est NOM=HOTE:PORT quand une l'est")
                .arg(texte);
        auto lu = litAdresseAppareil(texte);
        if (const auto* raison = std::get_if<QString>(&lu))
            return *raison;
        const AdresseAppareil& appareil = std::get<AdresseAppareil>(lu);
        for (const AdresseAppareil& deja : std::as_const(options.appareils)) {
            if (deja.nom == appareil.nom)
                return QStringLiteral("appareil %1 donné deux fois").arg(appareil.nom);
        }
        options.appareils.append(appareil);
    }
    return std::nullopt;
}

} // namespace

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
        } else if (a == QLatin1String("--ready") || a == QLatin1String("--junit")) {
            const auto v = prendValeur();
            if (!v || v->isEmpty())
                return QStringLiteral("%1 attend un nom de fichier").arg(a);
            (a == QLatin1String("--ready") ? options.fichierPret : options.junit) = *v;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return QStringLiteral("option inconnue : %1").arg(arguments[i]);
        } else {
            positionnels.append(a);
        }
    }
    if (positionnels.isEmpty() || (positionnels.size() == 1 && options.fichierPret.isEmpty()))
        return QStringLiteral("un journal et une adresse HOTE:PORT sont attendus");
    if (const auto raison = litAdresses(positionnels.mid(1), options))
        return *raison;
    options.journal = positionnels[0];
    return Demande::Rejeu;
}

QString cheminJunit(const QStringList& arguments)
{
    QString chemin;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--junit") && i + 1 < arguments.size())
            chemin = arguments[++i];
        else if (arguments[i].startsWith(QLatin1String("--junit=")))
            chemin = arguments[i].mid(8);
    }
    return chemin;
}

QStringList lignesAideRejeu()
{
    return {
        QStringLiteral("velorin-rejoue [--timing recorded] [--json] [--junit rapport.xml] "
                       "[--timeout-ms N] journal.jsonl HOTE:PORT"),
        QStringLiteral(
            "velorin-rejoue [options] journal.jsonl NOM=HOTE:PORT...  (un par appareil)"),
        QStringLiteral("velorin-rejoue [options] --ready pret.json journal.jsonl"),
        QStringLiteral(
            "    rejoue les requêtes d'un journal de trafic vers l'appareil HOTE:PORT ([::1]:PORT en IPv6)"),
        QStringLiteral("    et compare chaque réponse reçue à celle du journal, octet par octet ;"),
        QStringLiteral(
            "    un journal de plusieurs appareils (\"device\") veut l'adresse de chacun, NOM=HOTE:PORT"),
        QStringLiteral(
            "    --timing recorded    garde les écarts enregistrés entre les requêtes (sinon au plus vite)"),
        QStringLiteral("    --json               rapport en un document JSON"),
        QStringLiteral(
            "    --junit FICHIER      écrit aussi un rapport JUnit (un cas par connexion)"),
        QStringLiteral(
            "    --ready FICHIER      les adresses du fichier prêt d'un Velorin (127.0.0.1)"),
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
