#include "LigneCommande.h"

namespace {

// Where `cle` stands in the text, not counting where it only ends a longer key (BIND= inside
// CONTROL_BIND=).
qsizetype trouveCle(const QString& majuscules, QLatin1String cle)
{
    for (qsizetype position = majuscules.indexOf(cle); position >= 0;
         position = majuscules.indexOf(cle, position + 1)) {
        bool partieDUneAutre = false;
        for (const CleLigneCommande& autre : clesLigneCommande()) {
            const qsizetype avance = autre.nom.size() - cle.size();
            partieDUneAutre =
                partieDUneAutre
                || (avance > 0 && autre.nom.endsWith(cle) && position >= avance
                    && QStringView(majuscules).mid(position - avance).startsWith(autre.nom));
        }
        if (!partieDUneAutre)
            return position;
    }
    return -1;
}

// The value after the key, up to the first blank. `texte` gives it in its own letter case when
// upper-casing kept every position where it was.
std::optional<QString> valeurCle(const QString& texte, const QString& majuscules,
                                 const CleLigneCommande& cle)
{
    const qsizetype position = trouveCle(majuscules, cle.nom);
    if (position < 0)
        return std::nullopt;
    const qsizetype debut = position + cle.nom.size();
    const qsizetype blanc = majuscules.indexOf(QLatin1Char(' '), debut);
    const qsizetype longueur = blanc < 0 ? -1 : blanc - debut;
    const QString& source =
        cle.casseTapee && texte.size() == majuscules.size() ? texte : majuscules;
    return source.mid(debut, longueur);
}

// The key's value from the environment, in the letter case the key keeps.
std::optional<QString> valeurEnvironnement(const QProcessEnvironment& environnement,
                                           const CleLigneCommande& cle)
{
    const QString valeur = environnement.value(variableEnvironnement(cle));
    if (valeur.isEmpty())
        return std::nullopt;
    return cle.casseTapee ? valeur : valeur.toUpper();
}

bool cleConnue(const QString& jeton)
{
    const QString nom = jeton.left(jeton.indexOf(QLatin1Char('=')) + 1).toUpper();
    for (const CleLigneCommande& cle : clesLigneCommande()) {
        if (nom.endsWith(cle.nom))
            return true;
    }
    return false;
}

// The text without the values that name a file or an address: a "?" there is no request for
// help.
QString sansChemins(QString majuscules)
{
    for (const CleLigneCommande& cle : clesLigneCommande()) {
        if (!cle.casseTapee)
            continue;
        const qsizetype position = trouveCle(majuscules, cle.nom);
        if (position < 0)
            continue;
        qsizetype fin = majuscules.indexOf(QLatin1Char(' '), position);
        if (fin < 0)
            fin = majuscules.size();
        for (qsizetype i = position; i < fin; ++i)
            majuscules[i] = QLatin1Char(' ');
    }
    return majuscules;
}

} // namespace

const std::vector<CleLigneCommande>& clesLigneCommande()
{
    static const std::vector<CleLigneCommande> cles = {
        {QLatin1String("PORTIP="), &LigneCommande::portIP, false, 0, "[PORTIP=port]",
         "    PORTIP=port          port TCP des clients, 1 à 65535 (10001 par défaut), 0 : un port libre",
         nullptr},
        {QLatin1String("MODE="), &LigneCommande::mode, false, 0, "[MODE=mode]",
         "    MODE=mode            automateOMRON (par défaut), moduleLASERS, modeMUET ou modeECHO",
         nullptr},
        {QLatin1String("CONTROL="), &LigneCommande::portControle, false, 0, "[CONTROL=port]",
         "    CONTROL=port         ouvre l'API de contrôle HTTP/JSON sur ce port, 0 : un port libre",
         nullptr},
        {QLatin1String("READY="), &LigneCommande::fichierPret, true, 0, "[READY=fichier]",
         "    READY=fichier        écrit ce fichier JSON (pid, ports, version, mode) quand tout écoute",
         nullptr},
        {QLatin1String("LOG="), &LigneCommande::journal, true, 0, "[LOG=STDOUT|OFF|fichier]",
         "    LOG=STDOUT|OFF|fichier  copie du journal : sortie standard, aucune, ou ajoutée au fichier",
         nullptr},
        {QLatin1String("TRACE="), nullptr, false, 1, "[TRACE=ON]",
         "    TRACE=ON             coche \"flux IP\" au démarrage", nullptr},
        {QLatin1String("CLOCK="), &LigneCommande::horloge, false, 1, "[CLOCK=REAL|STEP|x<facteur>]",
         "    CLOCK=x100           horloge des axes : x<facteur> (x0 : en pause), STEP : pas à pas",
         "clock"},
        {QLatin1String("SCENARIO="), &LigneCommande::scenario, true, 2, "[SCENARIO=fichier]",
         "    SCENARIO=fichier     applique ce scénario JSON au démarrage (état, horloge, défauts...)",
         nullptr},
        {QLatin1String("SEED="), &LigneCommande::graine, false, 2, "[SEED=n]",
         "    SEED=n               graine des tirages des règles de défaut", "seed"},
        {QLatin1String("FRAMING="), &LigneCommande::decoupage, false, 2, "[FRAMING=CR]",
         "    FRAMING=CR           automate et lasers : une requête par CR, même en plusieurs envois",
         "framing"},
        {QLatin1String("JOURNAL="), &LigneCommande::journalTrafic, true, 2, "[JOURNAL=fichier]",
         "    JOURNAL=fichier      écrit chaque événement (trafic, défauts, journal...) en JSON, une ligne chacun",
         nullptr},
        {QLatin1String("JOURNAL_MAX="), &LigneCommande::tailleJournalTrafic, false, 2,
         "[JOURNAL_MAX=taille]",
         "    JOURNAL_MAX=taille   taille du fichier JOURNAL avant qu'il passe en .1 (100M par défaut ; K, M, G)",
         nullptr},
        {QLatin1String("PROXY="), &LigneCommande::relais, true, 3, "[PROXY=hôte:port]",
         "    PROXY=hôte:port      relaie chaque client vers cet appareil (la simulation est arrêtée)",
         nullptr},
        {QLatin1String("PLAYBACK="), &LigneCommande::rejeu, true, 3, "[PLAYBACK=fichier]",
         "    PLAYBACK=fichier     répond ce qu'un journal a enregistré pour la même requête",
         nullptr},
        {QLatin1String("PLAYBACK_FALLBACK="), &LigneCommande::rejeuSinon, false, 3,
         "[PLAYBACK_FALLBACK=SIM]",
         "    PLAYBACK_FALLBACK=SIM  la simulation répond aux requêtes absentes du journal",
         nullptr},
        {QLatin1String("SHUTDOWN_PAUSE_MS="), &LigneCommande::pauseArret, false, 3,
         "[SHUTDOWN_PAUSE_MS=n]",
         "    SHUTDOWN_PAUSE_MS=n  pause à l'arrêt, de 0 à 500 ms (500 par défaut), pour que les clients lisent l'avis",
         nullptr},
        {QLatin1String("MACHINE="), &LigneCommande::machine, true, 3, "[MACHINE=fichier]",
         "    MACHINE=fichier      sert chaque appareil que décrit ce fichier JSON, dans ce seul processus",
         nullptr},
        {QLatin1String("BIND="), &LigneCommande::adresse, true, 1, "[BIND=adresse]",
         "    BIND=adresse         adresse IPv4 ou IPv6 du port des clients (toutes les IPv4 par défaut)",
         nullptr},
        {QLatin1String("CONTROL_BIND="), &LigneCommande::adresseControle, true, 1,
         "[CONTROL_BIND=adresse]",
         "    CONTROL_BIND=adresse adresse de l'API de contrôle (127.0.0.1 par défaut ; une autre exige un jeton)",
         nullptr},
        {QLatin1String("CONTROL_HOSTS="), &LigneCommande::hotesControle, true, 4,
         "[CONTROL_HOSTS=noms]",
         "    CONTROL_HOSTS=noms   noms d'hôte, séparés par des virgules, acceptés dans Host en plus de localhost",
         nullptr},
        {QLatin1String("CONTROL_TOKEN="), &LigneCommande::jetonControle, true, 4,
         "[CONTROL_TOKEN=jeton]",
         "    CONTROL_TOKEN=jeton  chaque requête de contrôle porte Authorization: Bearer <jeton>",
         nullptr},
        {QLatin1String("CONTROL_TOKEN_FILE="), &LigneCommande::fichierJetonControle, true, 4,
         "[CONTROL_TOKEN_FILE=fichier]",
         "    CONTROL_TOKEN_FILE=fichier  le même jeton, lu dans ce fichier (invisible dans ps)",
         nullptr},
    };
    return cles;
}

QString variableEnvironnement(const CleLigneCommande& cle)
{
    return QStringLiteral("VELORIN_") + QString(cle.nom.chopped(1));
}

LigneCommande LigneCommande::lire(const QString& texte, const QProcessEnvironment& environnement)
{
    const QString majuscules = texte.toUpper();
    LigneCommande ligne;
    ligne.aide = sansChemins(majuscules).contains(QLatin1Char('?'));
    for (const CleLigneCommande& cle : clesLigneCommande()) {
        auto valeur = valeurCle(texte, majuscules, cle);
        if (!valeur)
            valeur = valeurEnvironnement(environnement, cle);
        if (cle.valeur)
            ligne.*cle.valeur = valeur;
        else
            ligne.trace = valeur == QLatin1String("ON");
    }
    const QStringList jetons = texte.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& jeton : jetons) {
        if (jeton.indexOf(QLatin1Char('=')) > 0 && !cleConnue(jeton))
            ligne.inconnus << jeton;
    }
    return ligne;
}

bool LigneCommande::journalStdout() const
{
    return journal && journal->compare(QLatin1String("STDOUT"), Qt::CaseInsensitive) == 0;
}

bool LigneCommande::journalCoupe() const
{
    return journal && journal->compare(QLatin1String("OFF"), Qt::CaseInsensitive) == 0;
}
