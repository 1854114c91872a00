#include "Nombres.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool estChiffre(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

QString sansBlancsAutour(const QString& texte)
{
    qsizetype debut = 0;
    qsizetype fin = texte.size();
    while (debut < fin && texte.at(debut) == QLatin1Char(' '))
        ++debut;
    while (fin > debut && texte.at(fin - 1) == QLatin1Char(' '))
        --fin;
    return texte.mid(debut, fin - debut);
}

// Checks [sign] digits [. digits] with at least one digit; tells whether a fraction is there.
bool formeDecimale(const QString& t, bool& avecFraction)
{
    qsizetype i = 0;
    if (i < t.size() && (t.at(i) == QLatin1Char('+') || t.at(i) == QLatin1Char('-')))
        ++i;
    int chiffres = 0;
    while (i < t.size() && estChiffre(t.at(i))) {
        ++i;
        ++chiffres;
    }
    avecFraction = false;
    if (i < t.size() && t.at(i) == QLatin1Char('.')) {
        avecFraction = true;
        ++i;
        while (i < t.size() && estChiffre(t.at(i))) {
            ++i;
            ++chiffres;
        }
    }
    return chiffres > 0 && i == t.size();
}

int valeurChiffre(QChar c)
{
    const char16_t code = c.unicode();
    if (code >= u'0' && code <= u'9')
        return code - u'0';
    if (code >= u'A' && code <= u'F')
        return code - u'A' + 10;
    if (code >= u'a' && code <= u'f')
        return code - u'a' + 10;
    return -1;
}

double lireBase(const QString& chiffres, int base)
{
    double valeur = 0;
    for (const QChar c : chiffres) {
        const int chiffre = valeurChiffre(c);
        if (chiffre < 0 || chiffre >= base)
            break;
        valeur = valeur * base + chiffre;
    }
    return valeur;
}

} // namespace

std::optional<double> valeurDecimale(const QString& texte)
{
    // The positions the PLC reads for every P are whole numbers of a few digits: read those
    // at once, exactly (below 2^53 every integer is a double), without building any text.
    if (!texte.isEmpty() && texte.size() <= 15) {
        qsizetype i = texte.front() == QLatin1Char('-') ? 1 : 0;
        const bool negatif = i == 1;
        qint64 entier = 0;
        for (; i < texte.size() && estChiffre(texte.at(i)); ++i)
            entier = entier * 10 + (texte.at(i).unicode() - u'0');
        if (i == texte.size() && (texte.size() > 1 || !negatif))
            return negatif ? -double(entier) : double(entier);
    }
    const QString t = sansBlancsAutour(texte);
    bool avecFraction = false;
    if (!formeDecimale(t, avecFraction))
        return std::nullopt;
    return QLocale::c().toDouble(t);
}

std::optional<qint64> entierDecimal(const QString& texte)
{
    const QString t = sansBlancsAutour(texte);
    bool avecFraction = false;
    if (!formeDecimale(t, avecFraction) || avecFraction)
        return std::nullopt;
    bool ok = false;
    const qint64 valeur = QLocale::c().toLongLong(t, &ok);
    if (!ok)
        return std::nullopt;
    return valeur;
}

double valeurSouple(const QString& texte)
{
    QString t;
    t.reserve(texte.size());
    for (const QChar c : texte) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
            t += c;
    }

    if (t.size() >= 2 && t.at(0) == QLatin1Char('&')) {
        const QChar prefixe = t.at(1).toUpper();
        if (prefixe == QLatin1Char('H'))
            return lireBase(t.mid(2), 16);
        if (prefixe == QLatin1Char('O'))
            return lireBase(t.mid(2), 8);
        return 0;
    }

    // The longest start of the text that spells a number.
    QString nombre;
    qsizetype i = 0;
    if (i < t.size() && (t.at(i) == QLatin1Char('+') || t.at(i) == QLatin1Char('-')))
        nombre += t.at(i++);
    int chiffres = 0;
    while (i < t.size() && estChiffre(t.at(i))) {
        nombre += t.at(i++);
        ++chiffres;
    }
    if (i < t.size() && t.at(i) == QLatin1Char('.')) {
        nombre += t.at(i++);
        while (i < t.size() && estChiffre(t.at(i))) {
            nombre += t.at(i++);
            ++chiffres;
        }
    }
    if (chiffres == 0)
        return 0;
    if (i < t.size()) {
        const QChar e = t.at(i).toUpper();
        if (e == QLatin1Char('E') || e == QLatin1Char('D')) {
            qsizetype j = i + 1;
            QString exposant = QStringLiteral("e");
            if (j < t.size() && (t.at(j) == QLatin1Char('+') || t.at(j) == QLatin1Char('-')))
                exposant += t.at(j++);
            const qsizetype debutChiffres = j;
            while (j < t.size() && estChiffre(t.at(j)))
                exposant += t.at(j++);
            if (j > debutChiffres)
                nombre += exposant;
        }
    }
    const double valeur = QLocale::c().toDouble(nombre);
    return std::isfinite(valeur) ? valeur : 0.0;
}

QString texteDecimal(double valeur, bool fractionLocale)
{
    if (valeur == 0)
        return QStringLiteral("0"); // never "-0"
    if (std::trunc(valeur) == valeur && std::fabs(valeur) < 1e15)
        return QString::number(static_cast<qint64>(valeur));
    if (!fractionLocale)
        return QString::number(valeur, 'g', 15);
    QLocale systeme = QLocale::system();
    systeme.setNumberOptions(QLocale::OmitGroupSeparator);
    return systeme.toString(valeur, 'g', 15);
}

qint64 arrondiPair(double valeur)
{
    constexpr double limite = 9.0e18;
    if (!(std::fabs(valeur) < limite))
        return valeur < 0 ? -static_cast<qint64>(limite) : static_cast<qint64>(limite);
    // The default rounding mode sends halves to the even neighbour.
    return static_cast<qint64>(std::nearbyint(valeur));
}

QString champPosition(qint64 valeur)
{
    QString champ;
    champ.reserve(8);
    ajouteChampPosition(champ, valeur);
    return champ;
}

void ajouteChampPosition(QString& texte, qint64 valeur)
{
    constexpr std::ptrdiff_t largeur = 8;
    std::array<char, 24> chiffres{};
    const char* fin = std::to_chars(chiffres.begin(), chiffres.end(), valeur).ptr;
    const std::ptrdiff_t pris = std::min(fin - chiffres.data(), largeur);
    for (std::ptrdiff_t i = pris; i < largeur; ++i)
        texte += QLatin1Char('0');
    texte += QLatin1String(fin - pris, pris);
}

void ajouteEntier(QString& texte, qint64 valeur)
{
    std::array<char, 24> chiffres{};
    const char* fin = std::to_chars(chiffres.begin(), chiffres.end(), valeur).ptr;
    texte += QLatin1String(chiffres.data(), fin);
}

QString champRegistre(quint32 valeur)
{
    return (QStringLiteral("0000") + QString::number(valeur, 16).toUpper()).right(4);
}
