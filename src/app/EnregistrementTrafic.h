#pragma once

#include "trace/JournalTrafic.h"

#include <QJsonObject>
#include <QString>

#include <optional>

class Appareil;
class ApiControle;
class EtatAppareil;
class Journal;

// JOURNAL= and JOURNAL_MAX= put into the program: the traffic journal and every source of its
// events (the channels, the fault rules, the device clock, the mode, the control API, the log).
class EnregistrementTrafic
{
public:
    // "JOURNAL_MAX=": bytes, or with K, M or G (binary units); at least 4 KiB.
    static std::optional<qint64> tailleValide(const QString& texte);

    EnregistrementTrafic(Journal& journalMessages, EtatAppareil& etat, Appareil& appareil);
    // A machine's: the file alone, whose sources the machine plugs in itself.
    explicit EnregistrementTrafic(Journal& journalMessages);

    // Opens the file, bounded in size, and plugs every source in; false with the reason when
    // the file cannot be opened.
    bool ouvre(const QString& chemin, qint64 tailleMax, QString& raison,
               const std::function<bool()>& interrompu = {});
    void ecoute(const QString& adresse);
    void surveille(ApiControle& api);

    JournalTrafic& trafic() { return journal; }
    // How the file fares, as GET /health says it: {"state": "ok" | "error", "lost": n}, with
    // the "reason" of an error.
    QJsonObject sante() const;

    // The end of the run: the file written out and closed. The events it lost in all, said in
    // the log and on standard error when there are any.
    qint64 termine();

private:
    void signale(const QString& texte);
    void surEtatFichier();

    QString cheminFichier;
    Journal& journalMessages;
    EtatAppareil* etatAppareil = nullptr;
    Appareil* appareil = nullptr;
    JournalTrafic journal;
};
