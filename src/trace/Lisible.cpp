#include "Lisible.h"

#include <array>
#include <string>

namespace {

// Names of the control characters that the protocols use, indexed by code.
constexpr std::array<const char*, 32> nomsControle = {
    "Nul/",  "Soh/",  "Stx/",  "Etx/",  nullptr, "Enq/",  "Ack/",  nullptr, // 0..7
    nullptr, nullptr, "Lf/",   nullptr, nullptr, "Cr/",   nullptr, nullptr, // 8..15
    "Dle/",  "Xon/",  nullptr, "Xoff/", nullptr, "Nak/",  nullptr, nullptr, // 16..23
    nullptr, nullptr, nullptr, "Esc/",  nullptr, nullptr, nullptr, nullptr  // 24..31
};

} // namespace

QString trsfChaineRecuEnLisible(const QString& ChaineRecu)
{
    QString resultat;
    resultat.reserve(ChaineRecu.size() + ChaineRecu.size() / 2);
    for (const QChar c : ChaineRecu) {
        const char16_t code = c.unicode();
        if (code < nomsControle.size() && nomsControle[code] != nullptr) {
            resultat += QLatin1String(nomsControle[code]);
        } else if (code < 32 || code > 126) {
            resultat += QLatin1Char('&');
            resultat += QString::number(code);
            resultat += QLatin1Char('&');
        } else {
            resultat += c;
        }
    }
    return resultat;
}

QString depuisLisible(const QString& lisible)
{
    QString resultat;
    for (qsizetype i = 0; i < lisible.size();) {
        bool lu = false;
        for (std::size_t code = 0; code < nomsControle.size() && !lu; ++code) {
            const char* nom = nomsControle[code];
            if (nom != nullptr && QStringView(lisible).mid(i).startsWith(QLatin1String(nom))) {
                resultat += QChar(char16_t(code));
                i += qsizetype(std::char_traits<char>::length(nom));
                lu = true;
            }
        }
        if (lu)
            continue;
        if (lisible[i] == QLatin1Char('&')) {
            const qsizetype fin = lisible.indexOf(QLatin1Char('&'), i + 1);
            bool ok = false;
            const uint code =
                fin > i + 1 && fin - i <= 6 ? lisible.mid(i + 1, fin - i - 1).toUInt(&ok) : 0;
            if (ok && code <= 0xFFFF) {
                resultat += QChar(char16_t(code));
                i = fin + 1;
                continue;
            }
        }
        resultat += lisible[i++];
    }
    return resultat;
}
