#include "GardeControle.h"

#include "Route.h"
#include "trace/LectureBornee.h"

#include <QCryptographicHash>
#include <QUrlQuery>

namespace {

using Methode = RequeteControle::Methode;

// A token is a line of a few hundred characters at most: a bigger file is not one.
constexpr qint64 TailleMaxFichierJeton = 4096;

QByteArray empreinte(const QByteArray& texte)
{
    return QCryptographicHash::hash(texte, QCryptographicHash::Sha256);
}

// Visible ASCII without blanks: what a header value carries unchanged.
bool jetonValide(const QByteArray& jeton)
{
    if (jeton.isEmpty())
        return false;
    for (const char c : jeton) {
        if (c <= ' ' || c > '~')
            return false;
    }
    return true;
}

// A host name or an address: letters, digits, '-', '.', ':' (IPv6).
bool nomValide(const QString& nom)
{
    if (nom.isEmpty())
        return false;
    for (const QChar c : nom) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-')
            && c != QLatin1Char('.') && c != QLatin1Char(':'))
            return false;
    }
    return true;
}

// The host part of a Host field, without its port and the brackets of an IPv6 address.
QString partieHote(const QByteArray& hote)
{
    QString texte = QString::fromLatin1(hote).toLower();
    if (texte.startsWith(QLatin1Char('['))) {
        const qsizetype fin = texte.indexOf(QLatin1Char(']'));
        if (fin < 0 || (fin + 1 < texte.size() && texte.at(fin + 1) != QLatin1Char(':')))
            return {};
        return texte.mid(1, fin - 1);
    }
    const qsizetype deuxPoints = texte.indexOf(QLatin1Char(':'));
    if (deuxPoints >= 0) {
        // An IPv6 address without brackets is no Host field.
        if (texte.indexOf(QLatin1Char(':'), deuxPoints + 1) >= 0)
            return {};
        texte.truncate(deuxPoints);
    }
    if (texte.endsWith(QLatin1Char('.')))
        texte.chop(1);
    return texte;
}

bool changeQuelqueChose(Methode methode)
{
    return methode != Methode::Get && methode != Methode::Head && methode != Methode::Options;
}

bool typeJson(const QByteArray& typeContenu)
{
    return typeContenu.split(';').first().trimmed().toLower() == "application/json";
}

} // namespace

std::variant<GardeControle::Reglages, QString>
GardeControle::lit(const std::optional<QString>& hotes, const std::optional<QString>& jeton,
                   const std::optional<QString>& fichierJeton,
                   const std::function<bool()>& interrompu)
{
    Reglages r;
    if (hotes) {
        for (const QString& nom : hotes->toLower().split(QLatin1Char(','))) {
            if (!nomValide(nom.trimmed()))
                return QStringLiteral("noms de controle CONTROL_HOSTS invalides \"") + *hotes
                       + QStringLiteral("\" : des noms d'hôte séparés par des virgules sont "
                                        "attendus");
            r.hotes << nom.trimmed();
        }
    }
    if (jeton && fichierJeton)
        return QStringLiteral("CONTROL_TOKEN et CONTROL_TOKEN_FILE donnés ensemble : un seul des "
                              "deux est attendu");
    if (jeton) {
        r.jeton = jeton->toUtf8();
        if (!jetonValide(r.jeton))
            return QStringLiteral("jeton de controle CONTROL_TOKEN invalide : des caractères "
                                  "ASCII visibles sont attendus");
    }
    if (fichierJeton) {
        const auto lu = LectureBornee{TailleMaxFichierJeton, interrompu}.lit(*fichierJeton);
        if (const auto* echec = std::get_if<LectureBornee::Echec>(&lu))
            return QStringLiteral("fichier de jeton CONTROL_TOKEN_FILE illisible \"")
                   + *fichierJeton + QStringLiteral("\" : ") + echec->message;
        r.jeton = std::get<QByteArray>(lu).trimmed();
        if (!jetonValide(r.jeton))
            return QStringLiteral("fichier de jeton CONTROL_TOKEN_FILE invalide \"") + *fichierJeton
                   + QStringLiteral("\" : une ligne de caractères ASCII visibles est attendue");
    }
    return r;
}

void GardeControle::regle(const Reglages& r, const QHostAddress& adresseLiee)
{
    hotes = r.hotes;
    liee = adresseLiee;
    empreinteJeton = r.jeton.isEmpty() ? QByteArray() : empreinte(r.jeton);
}

bool GardeControle::hotePermis(const QByteArray& hote, const QHostAddress& locale) const
{
    const QString nom = partieHote(hote);
    if (nom.isEmpty())
        return false;
    if (nom == QLatin1String("localhost") || hotes.contains(nom))
        return true;
    QHostAddress adresse;
    if (!adresse.setAddress(nom))
        return false;
    const auto memes = [&](const QHostAddress& autre) {
        return !autre.isNull() && adresse.isEqual(autre, QHostAddress::ConvertV4MappedToIPv4);
    };
    return memes(QHostAddress(QHostAddress::LocalHost))
           || memes(QHostAddress(QHostAddress::LocalHostIPv6)) || memes(liee) || memes(locale);
}

bool GardeControle::jetonPresente(const std::optional<QByteArray>& autorisation) const
{
    if (!autorisation)
        return false;
    const qsizetype blanc = autorisation->indexOf(' ');
    if (blanc < 0 || autorisation->left(blanc).toLower() != "bearer")
        return false;
    // Digests of one length, compared without stopping early: the time says nothing of how
    // much of the token was right.
    const QByteArray donnee = empreinte(autorisation->mid(blanc + 1).trimmed());
    unsigned char difference = 0;
    for (qsizetype i = 0; i < donnee.size(); ++i)
        difference |= static_cast<unsigned char>(donnee.at(i) ^ empreinteJeton.at(i));
    return difference == 0;
}

std::optional<QHttpServerResponse> GardeControle::refuse(const RequeteControle& requete) const
{
    const RequeteControle::EnTetes& champs = requete.enTetes();
    // A client that sends no Host is no browser; one that sends another name may be led by a
    // page that rebound its name to this machine.
    if (champs.hote && !hotePermis(*champs.hote, champs.locale))
        return reponseErreur(QHttpServerResponse::StatusCode::MisdirectedRequest,
                             QStringLiteral("host_not_allowed"),
                             QStringLiteral("this Host is not served here (CONTROL_HOSTS= adds "
                                            "names)"),
                             {{QStringLiteral("host"), QString::fromLatin1(*champs.hote)}});
    // A browser cannot put a header on the page's own address nor on an event stream: a GET
    // may carry the token as `access_token` in its query instead, as bearer tokens allow.
    const auto jetonRequete = [&requete]() -> std::optional<QByteArray> {
        const QUrlQuery requeteUrl(requete.url());
        if (requete.method() != RequeteControle::Methode::Get
            || !requeteUrl.hasQueryItem(QStringLiteral("access_token")))
            return std::nullopt;
        return QByteArrayLiteral("Bearer ")
               + requeteUrl.queryItemValue(QStringLiteral("access_token"), QUrl::FullyDecoded)
                     .toUtf8();
    };
    if (aJeton() && !jetonPresente(champs.autorisation) && !jetonPresente(jetonRequete())) {
        QHttpServerResponse reponse = reponseErreur(
            QHttpServerResponse::StatusCode::Unauthorized, QStringLiteral("unauthorized"),
            QStringLiteral("a valid \"Authorization: Bearer <token>\" is required"));
        reponse.addHeader("WWW-Authenticate", "Bearer");
        return reponse;
    }
    return std::nullopt;
}

std::optional<QHttpServerResponse> GardeControle::refuseChangement(const RequeteControle& requete)
{
    const RequeteControle::EnTetes& champs = requete.enTetes();
    if (!changeQuelqueChose(requete.method()))
        return std::nullopt;
    if (!requete.body().isEmpty() && !typeJson(champs.typeContenu))
        return reponseErreur(
            QHttpServerResponse::StatusCode::UnsupportedMediaType, QStringLiteral("json_required"),
            QStringLiteral("a request with a body sends Content-Type: "
                           "application/json"),
            {{QStringLiteral("content_type"), QString::fromLatin1(champs.typeContenu)}});
    if (requete.body().isEmpty() && !champs.velorin && !typeJson(champs.typeContenu))
        return reponseErreur(QHttpServerResponse::StatusCode::Forbidden,
                             QStringLiteral("header_required"),
                             QStringLiteral("a change without a body sends X-Velorin: 1 or "
                                            "Content-Type: application/json"));
    return std::nullopt;
}
