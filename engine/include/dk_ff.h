// The shared 16.16 fixed-point operations (1.0 = 0x10000, angles 4096 a turn) and the
// game-type predicates. Products are truncated one by one and then summed in 32 bits; sums
// that overflow wrap, as the vector operations never check ranges.
#pragma once

#include <bit>
#include <cstdint>

#include "engine/include/dk_entries.h"
#include "engine/include/dk_services.h"
#include "engine/common/matrixop.h"

// 32-bit sums that wrap without signed overflow.
inline int32_t FfAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t FfSub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t FfNeg(int32_t a)
{
    return static_cast<int32_t>(0u - static_cast<uint32_t>(a));
}

inline int32_t FfMul(int32_t a, int32_t b)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 16);
}

inline int32_t FfDiv(int32_t a, int32_t b)
{
    if (b == 0)
    {
        DkTryBoolFailed("DIVIDE BY ZERO", __LINE__, __FILE__);
        return -1;
    }
    return static_cast<int32_t>(static_cast<int64_t>(a) * DK_FIXED_ONE / b);
}

inline int32_t FfVecDot(const DK_VECTOR* pA, const DK_VECTOR* pB)
{
    return FfAdd(FfAdd(FfMul(pA->x, pB->x), FfMul(pA->y, pB->y)), FfMul(pA->z, pB->z));
}

inline void FfVecCross(DK_VECTOR* pOut, const DK_VECTOR* pA, const DK_VECTOR* pB)
{
    pOut->x = FfSub(FfMul(pA->y, pB->z), FfMul(pA->z, pB->y));
    pOut->y = FfSub(FfMul(pA->z, pB->x), FfMul(pA->x, pB->z));
    pOut->z = FfSub(FfMul(pA->x, pB->y), FfMul(pA->y, pB->x));
}

// Table square root: the value is normalised by an even shift so that its top 12 bits index
// gaSqrtTable, and the root is shifted back by half as much. x is taken as unsigned.
inline int32_t FfSqrt(int32_t x)
{
    uint32_t u = static_cast<uint32_t>(x);
    if (u == 0)
        return 0;
    int p = std::bit_width(u) - 1;
    int e = p - 15;
    if (e & 1)
        e = p - 14;
    int nShift = e + 4;
    uint32_t i = nShift >= 0 ? u >> nShift : u << -nShift;
    uint32_t r = gaSqrtTable[i];
    int nHalf = e / 2;
    return static_cast<int32_t>(nHalf >= 0 ? r << nHalf : r >> -nHalf);
}

inline int32_t FfVecLength(const DK_VECTOR* pV)
{
    return FfSqrt(FfVecDot(pV, pV));
}

// pOut may be pV.
inline void FfVecScale(DK_VECTOR* pOut, const DK_VECTOR* pV, int32_t s)
{
    pOut->x = FfMul(pV->x, s);
    pOut->y = FfMul(pV->y, s);
    pOut->z = FfMul(pV->z, s);
}

// Multiplies by the reciprocal 2^32 / s; a zero divisor is reported as the divide reports it.
inline void FfVecDivide(DK_VECTOR* pOut, const DK_VECTOR* pV, int32_t s)
{
    FfVecScale(pOut, pV, FfDiv(DK_FIXED_ONE, s));
}

// Returns the squared length.
inline int32_t FfVecNormalise(DK_VECTOR* pOut, const DK_VECTOR* pV)
{
    int32_t nSquared = FfVecDot(pV, pV);
    int32_t nLength = FfSqrt(nSquared);
    if (nLength == 0)
    {
        pOut->x = pOut->y = pOut->z = 0;
        return nSquared;
    }
    FfVecDivide(pOut, pV, nLength);
    return nSquared;
}

// Angle units, 1024 a quarter turn; sines beyond 1.0 read as 1.0.
inline int32_t FfAsin(int32_t s)
{
    int64_t nMagnitude = s < 0 ? -static_cast<int64_t>(s) : s;
    if (nMagnitude > DK_FIXED_ONE)
        nMagnitude = DK_FIXED_ONE;
    int32_t nAngle = gaAsinTable[nMagnitude >> 4];
    return s < 0 ? -nAngle : nAngle;
}

// Arctangent of a / b in -1024..1024 (not a full-circle arctangent).
inline int32_t FfAtan(int32_t a, int32_t b)
{
    if (a == 0)
        return 0;
    if (b == 0)
        return DK_QUARTER_TURN;
    bool boNegative = (a < 0) != (b < 0);
    int64_t nA = a < 0 ? -static_cast<int64_t>(a) : a;
    int64_t nB = b < 0 ? -static_cast<int64_t>(b) : b;
    int64_t nSmaller = nB < nA ? nB : nA;
    int64_t nLarger = nB < nA ? nA : nB;
    int64_t nRatio = nSmaller * DK_FIXED_ONE / nLarger;
    int32_t nAngle = gaAtanTable[nRatio >> 7];
    if (nB < nA)
        nAngle = DK_QUARTER_TURN - nAngle;
    return boNegative ? -nAngle : nAngle;
}

// The row operations move the first three words of a row; column 3 stays as it is.
inline void FfMatCopy(const DK_MATRIX* pSrc, DK_MATRIX* pDst)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            pDst->m[r][c] = pSrc->m[r][c];
}
inline void FfMatCopyTo(DK_MATRIX* pDst, const DK_MATRIX* pSrc)
{
    FfMatCopy(pSrc, pDst);
}

inline void FfMatGetRow(DK_VECTOR* pOut, const DK_MATRIX* pM, int nRow)
{
    pOut->x = pM->m[nRow][0];
    pOut->y = pM->m[nRow][1];
    pOut->z = pM->m[nRow][2];
}
inline void FfMatSetRow(const DK_VECTOR* pV, DK_MATRIX* pM, int nRow)
{
    pM->m[nRow][0] = pV->x;
    pM->m[nRow][1] = pV->y;
    pM->m[nRow][2] = pV->z;
}

inline void FfMatGetRow0(DK_VECTOR* pOut, const DK_MATRIX* pM)
{
    FfMatGetRow(pOut, pM, 0);
}
inline void FfMatGetRow1(DK_VECTOR* pOut, const DK_MATRIX* pM)
{
    FfMatGetRow(pOut, pM, 1);
}
inline void FfMatGetRow2(DK_VECTOR* pOut, const DK_MATRIX* pM)
{
    FfMatGetRow(pOut, pM, 2);
}
inline void FfMatGetPosition(DK_VECTOR* pOut, const DK_MATRIX* pM)
{
    FfMatGetRow(pOut, pM, 3);
}
inline void FfMatSetRow0(const DK_VECTOR* pV, DK_MATRIX* pM)
{
    FfMatSetRow(pV, pM, 0);
}
inline void FfMatSetRow1(const DK_VECTOR* pV, DK_MATRIX* pM)
{
    FfMatSetRow(pV, pM, 1);
}
inline void FfMatSetRow2(const DK_VECTOR* pV, DK_MATRIX* pM)
{
    FfMatSetRow(pV, pM, 2);
}
inline void FfMatSetPosition(const DK_VECTOR* pV, DK_MATRIX* pM)
{
    FfMatSetRow(pV, pM, 3);
}

// The game-type predicates, from the game type the front end registered (dk_entries.h). The
// rally school is always a one-player game.
inline int FfGameType(void)
{
    return DkEntries().GetGameType();
}

inline BOOL IsTwoPlayerGame(void)
{
    int nType = FfGameType();
    return !DkEntries().IsRallySchool() && (nType == 1 || nType == 3) ? TRUE : FALSE;
}
inline BOOL IsAlternatingGame(void)
{
    return !DkEntries().IsRallySchool() && FfGameType() == 2 ? TRUE : FALSE;
}
inline BOOL IsSplitScreenCollisionGame(void)
{
    return !DkEntries().IsRallySchool() && FfGameType() == 3 ? TRUE : FALSE;
}
