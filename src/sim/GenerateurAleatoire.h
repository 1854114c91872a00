#pragma once

#include <cstdint>

// The chute positions' generator: a 24-bit linear congruence from a fixed seed, so that the
// sequence of answers is the same after every start and across versions.
class GenerateurAleatoire
{
public:
    // Next draw, in [0, 1).
    float tirage();

private:
    std::uint32_t x = 327680;
};
