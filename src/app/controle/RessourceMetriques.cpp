#include "RessourceMetriques.h"

#include "app/Appareil.h"
#include "appareil/EtatAppareil.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <unistd.h>

namespace {

// One family after another: its HELP and TYPE, then its samples, as the format wants them.
class Exposition
{
public:
    // About what one device's families take, so that the text is not copied as it grows.
    static constexpr qsizetype OctetsParAppareil = 4096;

    explicit Exposition(qsizetype appareils)
    {
        sortie.reserve((appareils + 1) * OctetsParAppareil);
    }

    void famille(const char* nom, const char* type, const char* aide)
    {
        courante = nom;
        sortie += QByteArray("# HELP ") + nom + ' ' + aide + '\n';
        sortie += QByteArray("# TYPE ") + nom + ' ' + type + '\n';
    }
    // `borne`: a histogram bucket's "le", after the other labels.
    void echantillon(const QByteArray& suffixe,
                     const QList<std::pair<QByteArray, QString>>& etiquettes, double valeur,
                     const QString* borne = nullptr)
    {
        // Appended piece by piece: a scrape of a thousand devices is a hundred thousand lines.
        sortie += courante;
        sortie += suffixe;
        if (!etiquettes.isEmpty() || borne) {
            sortie += '{';
            for (qsizetype i = 0; i < etiquettes.size(); ++i) {
                if (i > 0)
                    sortie += ',';
                etiquette(etiquettes[i].first, etiquettes[i].second);
            }
            if (borne) {
                if (!etiquettes.isEmpty())
                    sortie += ',';
                etiquette("le", *borne);
            }
            sortie += '}';
        }
        sortie += ' ';
        sortie += nombre(valeur);
        sortie += '\n';
    }
    void echantillon(const QList<std::pair<QByteArray, QString>>& etiquettes, double valeur)
    {
        echantillon(QByteArray(), etiquettes, valeur);
    }
    template <std::size_t N>
    void histogramme(const QList<std::pair<QByteArray, QString>>& etiquettes,
                     const Histogramme<N>& h)
    {
        const QByteArray tranche("_bucket");
        quint64 cumul = 0;
        for (std::size_t i = 0; i <= N; ++i) {
            cumul += h.tranche(i);
            const QString borne =
                i < N ? QString::number(h.bornes()[i] / 1000.0, 'g', 10) : QStringLiteral("+Inf");
            echantillon(tranche, etiquettes, double(cumul), &borne);
        }
        echantillon("_sum", etiquettes, h.sommeMs() / 1000.0);
        echantillon("_count", etiquettes, double(h.total()));
    }
    const QByteArray& texte() const { return sortie; }

private:
    void etiquette(const QByteArray& nom, const QString& valeur)
    {
        sortie += nom;
        sortie += "=\"";
        echappe(valeur);
        sortie += '"';
    }
    // A label's value, its backslashes, quotes and line feeds escaped.
    void echappe(const QString& valeur)
    {
        const QByteArray texte = valeur.toUtf8();
        if (!texte.contains('\\') && !texte.contains('"') && !texte.contains('\n')) {
            sortie += texte;
            return;
        }
        for (const char c : texte) {
            if (c == '\\')
                sortie += "\\\\";
            else if (c == '"')
                sortie += "\\\"";
            else if (c == '\n')
                sortie += "\\n";
            else
                sortie += c;
        }
    }
    static QByteArray nombre(double valeur)
    {
        if (std::isnan(valeur))
            return "NaN";
        if (std::isinf(valeur))
            return valeur > 0 ? "+Inf" : "-Inf";
        if (valeur == std::floor(valeur) && std::fabs(valeur) < 1e15)
            return QByteArray::number(qint64(valeur));
        return QByteArray::number(valeur, 'g', 17);
    }

    QByteArray sortie;
    QByteArray courante;
};

using Etiquettes = QList<std::pair<QByteArray, QString>>;

Etiquettes avec(Etiquettes etiquettes, const QByteArray& nom, const QString& valeur)
{
    etiquettes.append({nom, valeur});
    return etiquettes;
}

// A position as the window shows it ("00012000"), or NaN when it reads as no number.
double position(const QString& texte)
{
    bool ok = false;
    const double valeur = texte.trimmed().toDouble(&ok);
    return ok ? valeur : std::nan("");
}

// The process's own figures, from /proc: what any Prometheus client library gives.
void processus(Exposition& e)
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (statm.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> champs = statm.readAll().split(' ');
        e.famille("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
        e.echantillon({}, double(champs.value(1).toLongLong()) * double(sysconf(_SC_PAGESIZE)));
    }
    e.famille("process_open_fds", "gauge", "Number of open file descriptors.");
    e.echantillon({}, double(QDir(QStringLiteral("/proc/self/fd"))
                                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                                 .size()));
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile systeme(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly) || !systeme.open(QIODevice::ReadOnly))
        return;
    // The fields after the command's closing parenthesis, which may hold blanks itself;
    // starttime is the 22nd field of the line, the 20th after it.
    const QByteArray ligne = stat.readAll();
    const QList<QByteArray> champs = ligne.mid(ligne.lastIndexOf(')') + 2).split(' ');
    qint64 demarrage = -1;
    for (const QByteArray& l : systeme.readAll().split('\n')) {
        if (l.startsWith("btime "))
            demarrage = l.mid(6).trimmed().toLongLong();
    }
    if (champs.size() < 20 || demarrage < 0)
        return;
    e.famille("process_start_time_seconds", "gauge",
              "Start time of the process since unix epoch in seconds.");
    e.echantillon({}, double(demarrage)
                          + double(champs.at(19).toLongLong()) / double(sysconf(_SC_CLK_TCK)));
}

} // namespace

QList<Route> RessourceMetriques::routes()
{
    return {{QStringLiteral("/metrics"), Route::Methode::Get, [this](const RequeteControle&) {
                 return QHttpServerResponse("text/plain; version=0.0.4; charset=utf-8", texte());
             }}};
}

QByteArray RessourceMetriques::texte()
{
    Exposition e(qsizetype(sources.dispositifs.size()));
    const auto chacun = [&](const char* nom, const char* type, const char* aide,
                            const std::function<void(const Dispositif&, const Etiquettes&)>& f) {
        e.famille(nom, type, aide);
        for (const Dispositif& d : sources.dispositifs)
            f(d, {{"device", d.nom}});
    };
    chacun("velorin_requests_total", "counter", "Requests analysed, by command letter.",
           [&](const Dispositif& d, const Etiquettes& et) {
               const auto& r = d.appareil.compteurs().requetes;
               for (int i = 0; i <= CompteursAppareil::AutreCommande; ++i) {
                   // Letters never asked stay out; "other" is always there.
                   if (r[std::size_t(i)] == 0 && i != CompteursAppareil::AutreCommande)
                       continue;
                   const QString commande =
                       i == CompteursAppareil::AutreCommande
                           ? QStringLiteral("other")
                           : QString(QLatin1Char(CompteursAppareil::lettreCommande(i)));
                   e.echantillon(avec(et, "command", commande), double(r[std::size_t(i)]));
               }
           });
    chacun("velorin_replies_total", "counter", "Replies handed to the clients' sockets.",
           [&](const Dispositif& d, const Etiquettes& et) {
               e.echantillon(et, double(d.appareil.compteurs().reponses));
           });
    chacun("velorin_received_bytes_total", "counter", "Bytes received from the clients.",
           [&](const Dispositif& d, const Etiquettes& et) {
               e.echantillon(et, double(d.appareil.compteurs().octetsRecus));
           });
    chacun("velorin_sent_bytes_total", "counter", "Bytes of the replies sent to the clients.",
           [&](const Dispositif& d, const Etiquettes& et) {
               e.echantillon(et, double(d.appareil.compteurs().octetsEnvoyes));
           });
    chacun("velorin_connections_opened_total", "counter", "Client connections taken on a channel.",
           [&](const Dispositif& d, const Etiquettes& et) {
               e.echantillon(et, double(d.appareil.compteurs().connexionsOuvertes));
           });
    chacun("velorin_connections_refused_total", "counter",
           "Client connections turned away: no channel free, or a refuse rule.",
           [&](const Dispositif& d, const Etiquettes& et) {
               e.echantillon(et, double(d.appareil.compteurs().connexionsRefusees));
           });
    chacun("velorin_clients", "gauge", "Clients connected now.",
           [&](const Dispositif& d, const Etiquettes& et) {
               e.echantillon(et, d.appareil.clients());
           });
    chacun("velorin_fault_firings_total", "counter",
           "Firings of each fault rule still listed, by rule id and action.",
           [&](const Dispositif& d, const Etiquettes& et) {
               d.appareil.defauts().declenchements([&](int id, const QString& action, qint64 n) {
                   e.echantillon(avec(avec(et, "rule", QString::number(id)), "action", action),
                                 double(n));
               });
           });
    chacun("velorin_timer_lateness_seconds", "histogram",
           "How late each Timer_Deplacement tick came after the one before.",
           [&](const Dispositif& d, const Etiquettes& et) {
               e.histogramme(avec(et, "timer", QStringLiteral("Timer_Deplacement")),
                             d.appareil.retardDeplacement().retards());
           });
    chacun("velorin_reply_seconds", "histogram",
           "From a request's arrival to its reply handed to the socket.",
           [&](const Dispositif& d, const Etiquettes& et) {
               e.histogramme(et, d.appareil.compteurs().delaiReponse);
           });
    chacun("velorin_axis_demanded_position", "gauge", "The position asked of each axis.",
           [&](const Dispositif& d, const Etiquettes& et) {
               e.echantillon(avec(et, "axis", QStringLiteral("X")), position(d.etat.Lbl_PosDemX()));
               e.echantillon(avec(et, "axis", QStringLiteral("Z")), position(d.etat.Lbl_PosDemZ()));
           });
    chacun(
        "velorin_axis_real_position", "gauge", "Where each axis is.",
        [&](const Dispositif& d, const Etiquettes& et) {
            e.echantillon(avec(et, "axis", QStringLiteral("X")), position(d.etat.Lbl_PosRelleX()));
            e.echantillon(avec(et, "axis", QStringLiteral("Z")), position(d.etat.Lbl_PosRelleZ()));
        });
    chacun("velorin_device_time_seconds", "gauge", "The device clock's time.",
           [&](const Dispositif& d, const Etiquettes& et) {
               e.echantillon(et, d.appareil.horloge().tempsMs() / 1000.0);
           });
    e.famille("velorin_log_lines_lost_total", "counter", "Log lines the log's copy dropped.");
    e.echantillon({}, sources.lignesPerdues ? double(sources.lignesPerdues()) : 0.0);
    e.famille("velorin_journal_events_lost_total", "counter",
              "Traffic journal events that could not be written.");
    e.echantillon({}, sources.evenementsPerdus ? double(sources.evenementsPerdus()) : 0.0);
    processus(e);
    return e.texte();
}
