#include "FormatEvenement.h"

#include <QDateTime>

#include <ctime>

namespace {

void ajouteChaineJson(QString& sortie, const QString& texte)
{
    static constexpr char hex[] = "0123456789abcdef";
    sortie += QLatin1Char('"');
    for (const QChar c : texte) {
        const char16_t u = c.unicode();
        switch (u) {
        case '"': sortie += QLatin1String("\\\""); break;
        case '\\': sortie += QLatin1String("\\\\"); break;
        case '\n': sortie += QLatin1String("\\n"); break;
        case '\r': sortie += QLatin1String("\\r"); break;
        case '\t': sortie += QLatin1String("\\t"); break;
        default:
            if (u < 0x20 || u == 0x7f) {
                sortie += QLatin1String("\\u00");
                sortie += QLatin1Char(hex[u >> 4]);
                sortie += QLatin1Char(hex[u & 0xf]);
            } else {
                sortie += c;
            }
        }
    }
    sortie += QLatin1Char('"');
}

} // namespace

QLatin1StringView FormatEvenement::nom(SortieEvenements::Type type)
{
    using T = SortieEvenements::Type;
    switch (type) {
    case T::Ecoute: return QLatin1StringView("listen");
    case T::Connexion: return QLatin1StringView("connect");
    case T::Reception: return QLatin1StringView("recv");
    case T::Envoi: return QLatin1StringView("send");
    case T::Fermeture: return QLatin1StringView("close");
    case T::Erreur: return QLatin1StringView("error");
    case T::Controle: return QLatin1StringView("control");
    case T::Defaut: return QLatin1StringView("fault");
    case T::Horloge: return QLatin1StringView("clock");
    case T::Mode: return QLatin1StringView("mode");
    case T::Log: return QLatin1StringView("log");
    }
    return QLatin1StringView("log");
}

qint64 FormatEvenement::maintenantEpoqueUs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

qint64 FormatEvenement::maintenantMonoUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

QString FormatEvenement::ligne(SortieEvenements::Type type, int canal, const QString& pair,
                               const QString* donnees)
{
    return ligne(maintenantEpoqueUs(), maintenantMonoUs(), type, canal, pair, donnees);
}

QString FormatEvenement::ligne(qint64 epoqueUs, qint64 monoUs, SortieEvenements::Type type,
                               int canal, const QString& pair, const QString* donnees)
{
    const qint64 seconde = epoqueUs >= 0 ? epoqueUs / 1000000 : (epoqueUs + 1) / 1000000 - 1;
    if (seconde != secondeEnCache) {
        secondeEnCache = seconde;
        debutEnCache = QDateTime::fromSecsSinceEpoch(seconde, Qt::UTC)
                           .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    }
    QString sortie;
    sortie.reserve(96 + (donnees != nullptr ? donnees->size() * 2 : 0));
    sortie += QLatin1String("{\"t\":\"");
    sortie += debutEnCache;
    sortie += QLatin1Char('.');
    sortie += QString::number(epoqueUs - seconde * 1000000).rightJustified(6, QLatin1Char('0'));
    sortie += QLatin1String("Z\",\"mono_us\":");
    sortie += QString::number(monoUs);
    sortie += QLatin1String(",\"event\":\"");
    sortie += nom(type);
    sortie += QLatin1Char('"');
    if (canal >= 0) {
        sortie += QLatin1String(",\"channel\":");
        sortie += QString::number(canal);
    }
    if (!pair.isEmpty()) {
        sortie += QLatin1String(",\"peer\":");
        ajouteChaineJson(sortie, pair);
    }
    if (donnees != nullptr) {
        sortie += QLatin1String(",\"data\":");
        ajouteChaineJson(sortie, *donnees);
        sortie += QLatin1String(",\"len\":");
        sortie += QString::number(donnees->size());
    }
    sortie += QLatin1Char('}');
    return sortie;
}
