#include "FormatEvenement.h"

#include <QDateTime>

#include <charconv>
#include <ctime>

namespace {

void ajouteNombre(QByteArray& sortie, qint64 nombre)
{
    char chiffres[24];
    const auto fin = std::to_chars(chiffres, chiffres + sizeof chiffres, nombre).ptr;
    sortie.append(chiffres, fin - chiffres);
}

// A JSON string in UTF-8: quotes, backslashes, control characters and characters past U+00FF
// escaped; bytes 128 to 255 as their two bytes of UTF-8.
void ajouteChaineJson(QByteArray& sortie, const QString& texte)
{
    static constexpr char hex[] = "0123456789abcdef";
    sortie += '"';
    const QChar* c = texte.constData();
    const QChar* const fin = c + texte.size();
    for (; c != fin; ++c) {
        char16_t u = c->unicode();
        if (u >= 0x20 && u < 0x7f && u != '"' && u != '\\') {
            sortie += char(u);
            continue;
        }
        switch (u) {
        case '"': sortie += "\\\""; continue;
        case '\\': sortie += "\\\\"; continue;
        case '\n': sortie += "\\n"; continue;
        case '\r': sortie += "\\r"; continue;
        case '\t': sortie += "\\t"; continue;
        default: break;
        }
        if (u < 0x20 || u == 0x7f || u >= 0x100) {
            // Past U+00FF (log text only) escaped too: a reader then never meets a character
            // its parser would drop, such as U+FEFF. A lone surrogate is no character at all.
            if (QChar::isSurrogate(u)
                && !(QChar::isHighSurrogate(u) && c + 1 != fin && c[1].isLowSurrogate())
                && !(QChar::isLowSurrogate(u) && c != texte.constData() && c[-1].isHighSurrogate()))
                u = 0xfffd;
            const char echappe[] = {
                '\\', 'u', hex[u >> 12], hex[(u >> 8) & 0xf], hex[(u >> 4) & 0xf], hex[u & 0xf]};
            sortie.append(echappe, sizeof echappe);
        } else {
            sortie += char(0xc0 | (u >> 6));
            sortie += char(0x80 | (u & 0x3f));
        }
    }
    sortie += '"';
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
    case T::AvisVelorin: return QLatin1StringView("send");
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

QByteArray FormatEvenement::ligne(SortieEvenements::Type type, int canal, const QString& pair,
                                  const QString* donnees, const QString* appareil)
{
    return ligne(maintenantEpoqueUs(), maintenantMonoUs(), type, canal, pair, donnees, appareil);
}

QByteArray FormatEvenement::ligne(qint64 epoqueUs, qint64 monoUs, SortieEvenements::Type type,
                                  int canal, const QString& pair, const QString* donnees,
                                  const QString* appareil)
{
    const qint64 seconde = epoqueUs >= 0 ? epoqueUs / 1000000 : (epoqueUs + 1) / 1000000 - 1;
    if (seconde != secondeEnCache) {
        secondeEnCache = seconde;
        debutEnCache = QDateTime::fromSecsSinceEpoch(seconde, Qt::UTC)
                           .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
                           .toLatin1();
    }
    QByteArray sortie;
    sortie.reserve(112 + pair.size() + (donnees != nullptr ? donnees->size() * 2 : 0));
    sortie += "{\"t\":\"";
    sortie += debutEnCache;
    // The microseconds, always six digits.
    char micro[8] = {'.', '0', '0', '0', '0', '0', '0', 'Z'};
    for (qint64 reste = epoqueUs - seconde * 1000000, i = 6; i > 0; --i, reste /= 10)
        micro[i] = char('0' + reste % 10);
    sortie.append(micro, sizeof micro);
    sortie += "\",\"mono_us\":";
    ajouteNombre(sortie, monoUs);
    if (appareil != nullptr) {
        sortie += ",\"device\":";
        ajouteChaineJson(sortie, *appareil);
    }
    sortie += ",\"event\":\"";
    sortie += nom(type);
    sortie += '"';
    if (type == SortieEvenements::Type::AvisVelorin)
        sortie += ",\"origin\":\"velorin\"";
    if (canal >= 0) {
        sortie += ",\"channel\":";
        ajouteNombre(sortie, canal);
    }
    if (!pair.isEmpty()) {
        sortie += ",\"peer\":";
        ajouteChaineJson(sortie, pair);
    }
    if (donnees != nullptr) {
        sortie += ",\"data\":";
        ajouteChaineJson(sortie, *donnees);
        sortie += ",\"len\":";
        ajouteNombre(sortie, donnees->size());
    }
    sortie += '}';
    return sortie;
}
