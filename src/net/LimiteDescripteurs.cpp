#include "LimiteDescripteurs.h"

#include <algorithm>
#include <sys/resource.h>

int limiteDescripteursProcessus()
{
    rlimit limite{};
    if (getrlimit(RLIMIT_NOFILE, &limite) != 0 || limite.rlim_cur == RLIM_INFINITY)
        return 0;
    return int(std::min<rlim_t>(limite.rlim_cur, 1 << 30));
}
