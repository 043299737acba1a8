// The program's entry: the game and the front end register their entries with the engine,
// and the engine runs.

#include "engine/pc/core/main.h"
#include "frontend/frontend.h"
#include "game/race/gmhndlr.h"

int main(int argc, char** argv)
{
    GameHandler_RegisterEntries();
    Frontend_RegisterEntries();
    return DkMain(argc, argv);
}
