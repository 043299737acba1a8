// Matrices, vectors and the trig tables of the 3D pipeline. Everything is 16.16 fixed point
// (1.0 = 0x10000) with angles of 4096 units a turn. Vectors are row vectors: p' = p·M, rows
// 0-2 of a matrix are the images of the axes and row 3 the translation, and in a product A·B
// A acts first. The fixed-point primitives themselves live in engine/include/dk_ff.h.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

#define DK_FIXED_ONE 0x10000
#define DK_ANGLE_MASK 4095
#define DK_QUARTER_TURN 1024

#define DK_TRIG_TABLE_SIZE 4096
// One past the formula's entries: a sine of exactly 1.0 and a ratio of exactly 1.0 index them.
#define DK_ASIN_TABLE_SIZE 4097
#define DK_ATAN_TABLE_SIZE 513

// Element [r][c] is word 4r+c.
struct DK_MATRIX
{
    int32_t m[4][4];
};

struct DK_MATRIX_FLOAT
{
    float m[4][4];
};

struct DK_VECTOR
{
    int32_t x;
    int32_t y;
    int32_t z;
};

// Read everywhere by angle (masked with DK_ANGLE_MASK); cos(a) = gaSinTable[(a + 1024) & 4095].
extern int32_t gaSinTable[DK_TRIG_TABLE_SIZE];
extern int32_t gaTanTable[DK_TRIG_TABLE_SIZE];
// Root of the midpoint of each 16-unit interval of a normalised 16.16 value.
extern uint16_t gaSqrtTable[DK_TRIG_TABLE_SIZE];
// Angle units, indexed by sine / 16.
extern int16_t gaAsinTable[DK_ASIN_TABLE_SIZE];
// Angle units, indexed by (smaller / larger magnitude as 16.16) / 128.
extern int16_t gaAtanTable[DK_ATAN_TABLE_SIZE];

// Builds the five tables; may run again at any time and writes the same values.
void DkInitialiseTrigTables(void);

void DkIdentityMatrix(DK_MATRIX* pMatrix);
// out = a·b; out may be a or b.
void DkMultiplyMatrix(DK_MATRIX* pOut, const DK_MATRIX* pA, const DK_MATRIX* pB);
void DkMultiplyMatrixFloat(DK_MATRIX_FLOAT* pOut, const DK_MATRIX_FLOAT* pA,
                           const DK_MATRIX_FLOAT* pB);

// out = in·M with the translation row.
void DkApplyMatrixToVector(DK_VECTOR* pOut, const DK_VECTOR* pIn, const DK_MATRIX* pMatrix);
// in·R: rotation part only.
void DkTransformPointTransposed(DK_VECTOR* pOut, const DK_VECTOR* pIn, const DK_MATRIX* pMatrix);
// R·in: rows dotted with the vector, the inverse turn of a rotation. No translation.
void DkTransformPoint(DK_VECTOR* pOut, const DK_VECTOR* pIn, const DK_MATRIX* pMatrix);
// As DkApplyMatrixToVector, each sum then scaled to a float (afOut holds three floats).
void DkApplyMatrixToVectorFloat(float* afOut, const DK_VECTOR* pIn, const DK_MATRIX* pMatrix);
void DkTransformPointToFloat(float* afOut, int32_t x, int32_t y, int32_t z,
                             const DK_MATRIX* pMatrix);
// The three int16 of the point are raw 16.16 values.
void DkTransformScreenPoint(float* afOut, const int16_t* anPoint, const DK_MATRIX* pMatrix);

// m = m·R for an axis rotation; all four rows turn, the translation row too.
DK_MATRIX* DkRotateMatrixX(DK_MATRIX* pMatrix, int32_t nAngle);
DK_MATRIX* DkRotateMatrixY(DK_MATRIX* pMatrix, int32_t nAngle);
DK_MATRIX* DkRotateMatrixZ(DK_MATRIX* pMatrix, int32_t nAngle);
// A turn in the X-Y plane for the polygon blits: rows (c, s), (-s, c).
void DkRotationMatrixZ(DK_MATRIX* pMatrix, int16_t nAngle);

// Turns point about (pivot.x, pivot.y) by m into result; point keeps the turned point before
// the move back.
void DkRotateAboutPoint(DK_VECTOR* pResult, DK_VECTOR* pPoint, const DK_VECTOR* pPivot,
                        const DK_MATRIX* pMatrix);

// An actor's local matrix from its angles and position: Rz(-az)·(Rx(-ax)·Ry(-ay)).
void DkActorMatrixFromAngles(DK_MATRIX* pOut, int16_t ax, int16_t ay, int16_t az,
                             const DK_VECTOR* pPosition);
// The cameras' order: (Rz(-az)·Ry(-ay))·Rx(-ax).
void DkActorMatrixFromAngles2(DK_MATRIX* pOut, int16_t ax, int16_t ay, int16_t az,
                              const DK_VECTOR* pPosition);
// As DkActorMatrixFromAngles2 with the position negated.
void DkActorMatrixFromAnglesNegated(DK_MATRIX* pOut, int16_t ax, int16_t ay, int16_t az,
                                    const DK_VECTOR* pPosition);

// Inverse of an affine matrix; out may be in. A singular matrix gives the identity.
void DkInvertMatrix(DK_MATRIX* pOut, const DK_MATRIX* pIn);

// A float truncated towards zero as the processor converts it: out of range or not a number
// reads as 0x80000000.
int32_t DkTruncateFloat(float f);
// A float coordinate as 16.16 (f x 65536), truncated the same way.
int32_t DkFloatToFixed(float f);
