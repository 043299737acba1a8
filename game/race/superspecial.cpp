#include "game/race/superspecial.h"

namespace
{
BOOL gboSuperSpecial = FALSE;
} // namespace

BOOL IsSuperSpecialStage(void)
{
    return gboSuperSpecial;
}

void SuperSpecial_SetForTests(BOOL boSuperSpecial)
{
    gboSuperSpecial = boSuperSpecial;
}
