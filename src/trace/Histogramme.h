#pragma once

#include <QtGlobal>

#include <array>
#include <cstddef>

// A histogram of durations in milliseconds over fixed bounds: a count per bound, their sum and
// their number, what GET /metrics gives. Observing is a short scan and three additions.
template <std::size_t N> class Histogramme
{
public:
    explicit constexpr Histogramme(const std::array<double, N>& bornesMs_) : bornesMs(bornesMs_) {}

    void observe(double ms)
    {
        std::size_t i = 0;
        while (i < N && ms > bornesMs[i])
            ++i;
        ++parTranche[i];
        somme += ms;
        ++nombre;
    }

    const std::array<double, N>& bornes() const { return bornesMs; }
    // Observations up to bound `i` only (not cumulative); index N: above the last.
    quint64 tranche(std::size_t i) const { return parTranche[i]; }
    double sommeMs() const { return somme; }
    quint64 total() const { return nombre; }

private:
    std::array<double, N> bornesMs;
    std::array<quint64, N + 1> parTranche{};
    double somme = 0;
    quint64 nombre = 0;
};

// Bounds from a fraction of a millisecond to seconds: a reply, a timer's lateness.
using HistogrammeDelais = Histogramme<14>;
inline constexpr std::array<double, 14> BornesDelaisMs = {0.1, 0.25, 0.5, 1,   2.5,  5,    10,
                                                          25,  50,   100, 250, 1000, 2500, 10000};
