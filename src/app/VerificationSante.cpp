#include "VerificationSante.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Horloge = std::chrono::steady_clock;

// As the control port reads its token file: a line, and no more than this.
constexpr std::size_t TailleMaxFichierJeton = 4096;

struct Adresse
{
    std::string hote;
    std::string port;
    std::string chemin;
};

// "http://hôte:port/chemin", the host an IPv4 address, a name or an IPv6 address in brackets;
// without a path, /health.
bool litAdresse(const std::string& texte, Adresse& adresse)
{
    const std::string schema = "http://";
    if (texte.compare(0, schema.size(), schema) != 0)
        return false;
    const std::string reste = texte.substr(schema.size());
    const std::size_t barre = reste.find('/');
    const std::string autorite = reste.substr(0, barre);
    adresse.chemin = barre == std::string::npos ? "/health" : reste.substr(barre);
    const std::size_t deuxPoints = autorite.rfind(':');
    if (deuxPoints == std::string::npos || deuxPoints + 1 == autorite.size())
        return false;
    adresse.hote = autorite.substr(0, deuxPoints);
    adresse.port = autorite.substr(deuxPoints + 1);
    if (adresse.hote.size() >= 2 && adresse.hote.front() == '[' && adresse.hote.back() == ']')
        adresse.hote = adresse.hote.substr(1, adresse.hote.size() - 2);
    const bool portChiffres = adresse.port.size() <= 5
                              && adresse.port.find_first_not_of("0123456789") == std::string::npos;
    // The path goes into the request line as it is: no blank nor line end may split it.
    const bool cheminSur = adresse.chemin.find_first_of(" \r\n") == std::string::npos;
    return !adresse.hote.empty() && portChiffres && cheminSur;
}

// A VELORIN_<KEY> variable as the program reads it: empty counts as absent.
const char* variable(const char* nom)
{
    const char* valeur = std::getenv(nom);
    return valeur && *valeur ? valeur : nullptr;
}

std::string sansBlancsAutour(const std::string& texte)
{
    const char* const blancs = " \t\r\n\v\f";
    const std::size_t debut = texte.find_first_not_of(blancs);
    if (debut == std::string::npos)
        return {};
    return texte.substr(debut, texte.find_last_not_of(blancs) - debut + 1);
}

// The control port's token, as the program would take it from its environment
// (VELORIN_CONTROL_TOKEN, or the file VELORIN_CONTROL_TOKEN_FILE names), so that the check
// passes the port's rules when the port asks for one. Empty when none is given; false with
// `raison` said when one is given but cannot be used.
bool jetonEnvironnement(std::string& jeton, std::string& raison)
{
    const char* texte = variable("VELORIN_CONTROL_TOKEN");
    const char* fichier = variable("VELORIN_CONTROL_TOKEN_FILE");
    if (texte && fichier) {
        raison = "VELORIN_CONTROL_TOKEN et VELORIN_CONTROL_TOKEN_FILE donnés ensemble";
        return false;
    }
    if (texte)
        jeton = texte;
    if (fichier) {
        const int f = open(fichier, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (f < 0) {
            raison = std::string("fichier de jeton illisible \"") + fichier
                     + "\" : " + std::strerror(errno);
            return false;
        }
        // One more than the largest file taken tells a file too large.
        char morceau[TailleMaxFichierJeton + 1];
        std::size_t lu = 0;
        while (lu < sizeof morceau) {
            const ssize_t n = read(f, morceau + lu, sizeof morceau - lu);
            if (n == 0)
                break;
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                raison = std::string("fichier de jeton illisible \"") + fichier
                         + "\" : " + std::strerror(errno);
                close(f);
                return false;
            }
            lu += std::size_t(n);
        }
        close(f);
        if (lu > TailleMaxFichierJeton) {
            raison = std::string("fichier de jeton trop grand \"") + fichier + "\"";
            return false;
        }
        jeton = sansBlancsAutour(std::string(morceau, lu));
    }
    // The token goes into a header line: only visible ASCII, as the port itself asks.
    for (const char c : jeton) {
        if (c < '!' || c > '~') {
            raison = "jeton de controle invalide : des caractères ASCII visibles sont attendus";
            return false;
        }
    }
    return true;
}

int resteMs(Horloge::time_point fin)
{
    const auto reste = std::chrono::duration_cast<std::chrono::milliseconds>(fin - Horloge::now());
    return reste.count() > 0 ? int(reste.count()) : 0;
}

// Waits until the socket can be read or written, or the deadline passes.
bool attend(int socket, short evenement, Horloge::time_point fin)
{
    pollfd attente{socket, evenement, 0};
    for (;;) {
        const int n = poll(&attente, 1, resteMs(fin));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

// A connected socket to one of the host's addresses, or -1 with `raison` said.
int connecte(const Adresse& adresse, Horloge::time_point fin, std::string& raison)
{
    addrinfo indices{};
    indices.ai_family = AF_UNSPEC;
    indices.ai_socktype = SOCK_STREAM;
    addrinfo* adresses = nullptr;
    if (const int erreur =
            getaddrinfo(adresse.hote.c_str(), adresse.port.c_str(), &indices, &adresses)) {
        raison = gai_strerror(erreur);
        return -1;
    }
    int connectee = -1;
    for (addrinfo* a = adresses; a && connectee < 0; a = a->ai_next) {
        const int s =
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0)
            continue;
        int erreur = 0;
        if (connect(s, a->ai_addr, a->ai_addrlen) != 0) {
            erreur = errno;
            if (erreur == EINPROGRESS) {
                socklen_t taille = sizeof erreur;
                erreur = attend(s, POLLOUT, fin)
                                 && getsockopt(s, SOL_SOCKET, SO_ERROR, &erreur, &taille) == 0
                             ? erreur
                             : ETIMEDOUT;
            }
        }
        if (erreur == 0)
            connectee = s;
        else {
            raison = std::strerror(erreur);
            close(s);
        }
    }
    freeaddrinfo(adresses);
    return connectee;
}

// The address the socket reached, as Host names it: the control port takes the address a
// request came in on whatever names CONTROL_HOSTS= lists, where a name would need listing.
std::string hoteAtteint(int socket, const Adresse& adresse)
{
    sockaddr_storage pair{};
    socklen_t taille = sizeof pair;
    char numerique[NI_MAXHOST];
    if (getpeername(socket, reinterpret_cast<sockaddr*>(&pair), &taille) != 0
        || getnameinfo(reinterpret_cast<sockaddr*>(&pair), taille, numerique, sizeof numerique,
                       nullptr, 0, NI_NUMERICHOST)
               != 0)
        return adresse.hote.find(':') == std::string::npos
                   ? adresse.hote + ":" + adresse.port
                   : "[" + adresse.hote + "]:" + adresse.port;
    const std::string hote = numerique;
    return (pair.ss_family == AF_INET6 ? "[" + hote + "]" : hote) + ":" + adresse.port;
}

// The status line of the answer to one GET, or empty with `raison` said.
std::string statut(int socket, const Adresse& adresse, const std::string& jeton,
                   Horloge::time_point fin, std::string& raison)
{
    std::string requete =
        "GET " + adresse.chemin + " HTTP/1.1\r\nHost: " + hoteAtteint(socket, adresse) + "\r\n";
    if (!jeton.empty())
        requete += "Authorization: Bearer " + jeton + "\r\n";
    requete += "Connection: close\r\n\r\n";
    for (std::size_t envoye = 0; envoye < requete.size();) {
        if (!attend(socket, POLLOUT, fin)) {
            raison = "délai dépassé";
            return {};
        }
        const ssize_t n =
            send(socket, requete.data() + envoye, requete.size() - envoye, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            raison = std::strerror(errno);
            return {};
        }
        envoye += n > 0 ? std::size_t(n) : 0;
    }
    // Only the first line is read, and no more than a status line holds.
    std::string recu;
    while (recu.find("\r\n") == std::string::npos && recu.size() < 256) {
        if (!attend(socket, POLLIN, fin)) {
            raison = "délai dépassé";
            return {};
        }
        char morceau[256];
        const ssize_t n = recv(socket, morceau, sizeof morceau, 0);
        if (n == 0)
            break;
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            raison = std::strerror(errno);
            return {};
        }
        recu.append(morceau, n > 0 ? std::size_t(n) : 0);
    }
    const std::size_t finLigne = recu.find("\r\n");
    if (finLigne == std::string::npos) {
        raison = "réponse qui n'est pas du HTTP";
        return {};
    }
    return recu.substr(0, finLigne);
}

} // namespace

int verifieSante(const char* texte)
{
    Adresse adresse;
    if (!texte || !litAdresse(texte, adresse)) {
        std::fprintf(stderr,
                     "velorin --check-health : adresse invalide \"%s\" : "
                     "http://hôte:port/chemin est attendu\n",
                     texte ? texte : "");
        return 1;
    }
    std::string jeton;
    std::string raison;
    if (!jetonEnvironnement(jeton, raison)) {
        std::fprintf(stderr, "velorin --check-health : %s : %s\n", texte, raison.c_str());
        return 1;
    }
    const auto fin = Horloge::now() + std::chrono::milliseconds(DelaiVerificationSanteMs);
    const int socket = connecte(adresse, fin, raison);
    if (socket < 0) {
        std::fprintf(stderr, "velorin --check-health : %s : %s\n", texte, raison.c_str());
        return 1;
    }
    const std::string ligne = statut(socket, adresse, jeton, fin, raison);
    close(socket);
    // "HTTP/1.1 200 OK": the code is the second word.
    const std::size_t blanc = ligne.find(' ');
    const bool enBonneSante = blanc != std::string::npos && ligne.compare(blanc + 1, 3, "200") == 0
                              && (ligne.size() == blanc + 4 || ligne[blanc + 4] == ' ');
    if (ligne.empty())
        std::fprintf(stderr, "velorin --check-health : %s : %s\n", texte, raison.c_str());
    else
        std::fprintf(enBonneSante ? stdout : stderr, "velorin --check-health : %s : %s\n", texte,
                     ligne.c_str());
    return enBonneSante ? 0 : 1;
}
