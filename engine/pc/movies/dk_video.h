// Movies: an AVI file played through the multimedia command interface in a rectangle of the
// game window. DkPlayMovieInWindow blocks, pumping the window's messages, until the movie ends
// or the player presses Return or Escape; Space pauses and resumes.
#pragma once

#include "engine/include/dk_types.h"
#include "engine/pc/display/dk_surf.h"

void DkPlayMovieInWindow(const char* pszFileName, const DK_RECT* pRect, int nLoadKind);

int InitAVIDriver(void);
void DkCloseAVIDriver(void);
BOOL DkOpenMovie(HWND hWnd, const char* pszFileName);
void DkSetMovieRect(int nX, int nY, int nWidth, int nHeight);
void DkPlayMovie(HWND hWnd);
void DkToggleMoviePause(void);
void DkCloseMovieDevice(HWND hWnd);
void DkCloseMovie(void);
BOOL DkIsMoviePlaying(void);
void DkRewindMovie(void);
BOOL DkIsMovieOpen(void);
