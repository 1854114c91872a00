#include "Horloge.h"

#include <QThread>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

namespace {

// Milliseconds since local midnight. The system's offset from UTC is asked for once a minute
// (zone and daylight-saving changes fall on whole minutes) or when TZ changes: asking for it
// at every stamp, as QTime::currentTime does, costs a look at /etc/localtime each time.
qint64 msDepuisMinuitLocal()
{
    timespec maintenant{};
    clock_gettime(CLOCK_REALTIME, &maintenant);
    thread_local qint64 minuteConnue = -1;
    thread_local std::string zoneConnue;
    thread_local qint64 decalage = 0;
    const qint64 minute = maintenant.tv_sec / 60;
    const char* zone = std::getenv("TZ");
    const std::string_view zoneActuelle = zone != nullptr ? zone : "";
    if (minute != minuteConnue || zoneActuelle != zoneConnue) {
        tzset();
        tm local{};
        const time_t secondes = maintenant.tv_sec;
        localtime_r(&secondes, &local);
        decalage = local.tm_gmtoff;
        minuteConnue = minute;
        zoneConnue = zoneActuelle;
    }
    constexpr qint64 SecondesParJour = 86400;
    const qint64 secondesLocales =
        ((qint64(maintenant.tv_sec) + decalage) % SecondesParJour + SecondesParJour)
        % SecondesParJour;
    return secondesLocales * 1000 + maintenant.tv_nsec / 1000000;
}

} // namespace

QDate HorlogeSysteme::dateDuJour() const
{
    return QDate::currentDate();
}

QTime HorlogeSysteme::heureDuJour() const
{
    return QTime::fromMSecsSinceStartOfDay(int(msDepuisMinuitLocal()));
}

float HorlogeSysteme::secondesDepuisMinuit() const
{
    return static_cast<float>(msDepuisMinuitLocal()) / 1000.0f;
}

double HorlogeSysteme::millisecondes() const
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void HorlogeSysteme::dormirMs(int ms) const
{
    QThread::msleep(static_cast<unsigned long>(ms));
}

const HorlogeSysteme& HorlogeSysteme::instance()
{
    static const HorlogeSysteme horloge;
    return horloge;
}
