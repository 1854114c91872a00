#include "AideLigneCommande.h"

QStringList lignesAide()
{
    return {
        QStringLiteral(
            "velorin [PORTIP=port] [MODE=mode] [CONTROL=port] [READY=fichier] [LOG=STDOUT|OFF|fichier]"),
        QStringLiteral(
            "        [TRACE=ON] [CLOCK=REAL|STEP|x<facteur>] [BIND=adresse] [CONTROL_BIND=adresse]"),
        QStringLiteral(
            "        [SCENARIO=fichier] [SEED=n] [FRAMING=CR] [JOURNAL=fichier] [JOURNAL_MAX=taille]"),
        QStringLiteral(
            "        [PROXY=hôte:port] [PLAYBACK=fichier] [PLAYBACK_FALLBACK=SIM] [SHUTDOWN_PAUSE_MS=n]"),
        QStringLiteral("        [?] [--help] [--version]"),
        QStringLiteral(
            "    PORTIP=port          port TCP des clients, 1 à 65535 (10001 par défaut), 0 : un port libre"),
        QStringLiteral(
            "    MODE=mode            automateOMRON (par défaut), moduleLASERS, modeMUET ou modeECHO"),
        QStringLiteral(
            "    CONTROL=port         ouvre l'API de contrôle HTTP/JSON sur ce port, 0 : un port libre"),
        QStringLiteral(
            "    READY=fichier        écrit ce fichier JSON (pid, ports, version, mode) quand tout écoute"),
        QStringLiteral(
            "    LOG=STDOUT|OFF|fichier  copie du journal : sortie standard, aucune, ou ajoutée au fichier"),
        QStringLiteral("    TRACE=ON             coche \"flux IP\" au démarrage"),
        QStringLiteral(
            "    CLOCK=x100           horloge des axes : x<facteur> (x0 : en pause), STEP : pas à pas"),
        QStringLiteral(
            "    SCENARIO=fichier     applique ce scénario JSON au démarrage (état, horloge, défauts...)"),
        QStringLiteral("    SEED=n               graine des tirages des règles de défaut"),
        QStringLiteral(
            "    FRAMING=CR           automate et lasers : une requête par CR, même en plusieurs envois"),
        QStringLiteral(
            "    JOURNAL=fichier      écrit chaque événement (trafic, défauts, journal...) en JSON, une ligne chacun"),
        QStringLiteral(
            "    JOURNAL_MAX=taille   taille du fichier JOURNAL avant qu'il passe en .1 (100M par défaut ; K, M, G)"),
        QStringLiteral(
            "    PROXY=hôte:port      relaie chaque client vers cet appareil (la simulation est arrêtée)"),
        QStringLiteral(
            "    PLAYBACK=fichier     répond ce qu'un journal a enregistré pour la même requête"),
        QStringLiteral(
            "    PLAYBACK_FALLBACK=SIM  la simulation répond aux requêtes absentes du journal"),
        QStringLiteral(
            "    SHUTDOWN_PAUSE_MS=n  pause à l'arrêt, de 0 à 500 ms (500 par défaut), pour que les clients lisent l'avis"),
        QStringLiteral(
            "    BIND=adresse         adresse IPv4 ou IPv6 du port des clients (toutes les IPv4 par défaut)"),
        QStringLiteral(
            "    CONTROL_BIND=adresse adresse de l'API de contrôle (127.0.0.1 par défaut)"),
        QStringLiteral("    ?                    affiche cette aide au démarrage"),
        QStringLiteral("    --help, -h           affiche cette aide et s'arrête"),
        QStringLiteral("    --version            affiche la version et s'arrête"),
    };
}

QString texteVersion()
{
    return QStringLiteral("velorin " VELORIN_VERSION);
}
