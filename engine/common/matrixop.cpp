#include "engine/common/matrixop.h"

#include <cmath>
#include <cstring>

#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"

int32_t gaSinTable[DK_TRIG_TABLE_SIZE];
int32_t gaTanTable[DK_TRIG_TABLE_SIZE];
uint16_t gaSqrtTable[DK_TRIG_TABLE_SIZE];
int16_t gaAsinTable[DK_ASIN_TABLE_SIZE];
int16_t gaAtanTable[DK_ATAN_TABLE_SIZE];

namespace
{

const double kTwoPi = 6.283185307179586;
// 4096 / 2π / 65536: radians in 16.16 to angle units.
const double kRadiansToAngle = 0.009947183943243459;

int32_t Sine(int32_t nAngle)
{
    return gaSinTable[nAngle & DK_ANGLE_MASK];
}

int32_t Cosine(int32_t nAngle)
{
    return gaSinTable[(nAngle + DK_QUARTER_TURN) & DK_ANGLE_MASK];
}

int16_t AngleFromRadians(double fRadians)
{
    return static_cast<int16_t>(std::trunc(fRadians * 65536.0) * kRadiansToAngle);
}

// p·M, with or without the translation row.
void ApplyRows(DK_VECTOR* pOut, const DK_VECTOR* pIn, const DK_MATRIX* pMatrix, bool boTranslate)
{
    const auto& m = pMatrix->m;
    int32_t x = pIn->x, y = pIn->y, z = pIn->z;
    int32_t out[3];
    for (int c = 0; c < 3; ++c)
    {
        out[c] = FfAdd(FfAdd(FfMul(m[0][c], x), FfMul(m[1][c], y)), FfMul(m[2][c], z));
        if (boTranslate)
            out[c] = FfAdd(out[c], m[3][c]);
    }
    pOut->x = out[0];
    pOut->y = out[1];
    pOut->z = out[2];
}

void ApplyRowsToFloat(float* afOut, int32_t x, int32_t y, int32_t z, const DK_MATRIX* pMatrix)
{
    DK_VECTOR in = {x, y, z};
    DK_VECTOR out;
    ApplyRows(&out, &in, pMatrix, true);
    afOut[0] = static_cast<float>(out.x / 65536.0);
    afOut[1] = static_cast<float>(out.y / 65536.0);
    afOut[2] = static_cast<float>(out.z / 65536.0);
}

void TranslationMatrix(DK_MATRIX* pMatrix, int32_t x, int32_t y, int32_t z)
{
    DkIdentityMatrix(pMatrix);
    pMatrix->m[3][0] = x;
    pMatrix->m[3][1] = y;
    pMatrix->m[3][2] = z;
}

void SetRotationRows(DK_MATRIX* pMatrix, const int32_t aRows[3][3])
{
    DkIdentityMatrix(pMatrix);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            pMatrix->m[r][c] = aRows[r][c];
}

// Built as matrices and multiplied, so that every product is truncated as in DkMultiplyMatrix.
void RotationX(DK_MATRIX* pMatrix, int32_t nAngle)
{
    int32_t s = Sine(nAngle), c = Cosine(nAngle);
    const int32_t aRows[3][3] = {{DK_FIXED_ONE, 0, 0}, {0, c, -s}, {0, s, c}};
    SetRotationRows(pMatrix, aRows);
}

void RotationY(DK_MATRIX* pMatrix, int32_t nAngle)
{
    int32_t s = Sine(nAngle), c = Cosine(nAngle);
    const int32_t aRows[3][3] = {{c, 0, s}, {0, DK_FIXED_ONE, 0}, {-s, 0, c}};
    SetRotationRows(pMatrix, aRows);
}

void RotationZ(DK_MATRIX* pMatrix, int32_t nAngle)
{
    int32_t s = Sine(nAngle), c = Cosine(nAngle);
    const int32_t aRows[3][3] = {{c, -s, 0}, {s, c, 0}, {0, 0, DK_FIXED_ONE}};
    SetRotationRows(pMatrix, aRows);
}

// The actor angles' cosines and sines, the sines read through the negated angle.
struct ANGLE_TERMS
{
    int32_t cx, sx, cy, sy, cz, sz;
};

ANGLE_TERMS AngleTerms(int16_t ax, int16_t ay, int16_t az)
{
    ANGLE_TERMS t;
    t.cx = Sine(DK_QUARTER_TURN - ax);
    t.sx = -Sine(-ax);
    t.cy = Sine(DK_QUARTER_TURN - ay);
    t.sy = -Sine(-ay);
    t.cz = Sine(DK_QUARTER_TURN - az);
    t.sz = -Sine(-az);
    return t;
}

void SetActorRows(DK_MATRIX* pOut, const int32_t aRows[3][3], int32_t x, int32_t y, int32_t z)
{
    for (int r = 0; r < 3; ++r)
    {
        for (int c = 0; c < 3; ++c)
            pOut->m[r][c] = aRows[r][c];
        pOut->m[r][3] = 0;
    }
    pOut->m[3][0] = x;
    pOut->m[3][1] = y;
    pOut->m[3][2] = z;
    pOut->m[3][3] = DK_FIXED_ONE;
}

void CameraRows(int32_t aRows[3][3], int16_t ax, int16_t ay, int16_t az)
{
    ANGLE_TERMS t = AngleTerms(ax, ay, az);
    int32_t l = FfMul(t.cz, -t.sy);
    int32_t g = FfMul(-t.sz, -t.sy);
    aRows[0][0] = FfMul(t.cz, t.cy);
    aRows[0][1] = FfAdd(FfMul(t.sz, t.cx), FfMul(l, -t.sx));
    aRows[0][2] = FfAdd(FfMul(t.sz, t.sx), FfMul(t.cx, l));
    aRows[1][0] = FfMul(t.cy, -t.sz);
    aRows[1][1] = FfAdd(FfMul(t.cz, t.cx), FfMul(-t.sx, g));
    aRows[1][2] = FfAdd(FfMul(t.cz, t.sx), FfMul(t.cx, g));
    aRows[2][0] = t.sy;
    aRows[2][1] = FfMul(t.cy, -t.sx);
    aRows[2][2] = FfMul(t.cy, t.cx);
}

} // namespace

void DkInitialiseTrigTables(void)
{
    for (int i = 0; i < DK_TRIG_TABLE_SIZE; ++i)
    {
        double t = (i / 4096.0) * kTwoPi;
        gaSinTable[i] = static_cast<int32_t>(std::sin(t) * 65536.0);
        // A quarter and three quarters of a turn have no tangent; they hold the largest value.
        if (i == DK_QUARTER_TURN || i == 3 * DK_QUARTER_TURN)
            gaTanTable[i] = INT32_MAX;
        else
            gaTanTable[i] = static_cast<int32_t>(std::tan(t) * 65536.0);
        gaSqrtTable[i] = static_cast<uint16_t>(std::sqrt((16.0 * i + 8.0) / 65536.0) * 65536.0);
        gaAsinTable[i] = AngleFromRadians(std::asin(i / 4095.0));
    }
    gaAsinTable[DK_ASIN_TABLE_SIZE - 1] = DK_QUARTER_TURN;
    for (int i = 0; i < DK_ATAN_TABLE_SIZE - 1; ++i)
        gaAtanTable[i] = AngleFromRadians(std::atan(i / 511.0));
    gaAtanTable[DK_ATAN_TABLE_SIZE - 1] = 512;
}

void DkIdentityMatrix(DK_MATRIX* pMatrix)
{
    std::memset(pMatrix, 0, sizeof *pMatrix);
    for (int i = 0; i < 4; ++i)
        pMatrix->m[i][i] = DK_FIXED_ONE;
}

void DkMultiplyMatrix(DK_MATRIX* pOut, const DK_MATRIX* pA, const DK_MATRIX* pB)
{
    DK_MATRIX a = *pA;
    DK_MATRIX b = *pB;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
        {
            int32_t nSum = 0;
            for (int k = 0; k < 4; ++k)
                nSum = FfAdd(nSum, FfMul(a.m[i][k], b.m[k][j]));
            pOut->m[i][j] = nSum;
        }
}

void DkMultiplyMatrixFloat(DK_MATRIX_FLOAT* pOut, const DK_MATRIX_FLOAT* pA,
                           const DK_MATRIX_FLOAT* pB)
{
    DK_MATRIX_FLOAT a = *pA;
    DK_MATRIX_FLOAT b = *pB;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
        {
            float fSum = 0.0f;
            for (int k = 0; k < 4; ++k)
                fSum += a.m[i][k] * b.m[k][j];
            pOut->m[i][j] = fSum;
        }
}

void DkApplyMatrixToVector(DK_VECTOR* pOut, const DK_VECTOR* pIn, const DK_MATRIX* pMatrix)
{
    ApplyRows(pOut, pIn, pMatrix, true);
}

void DkTransformPointTransposed(DK_VECTOR* pOut, const DK_VECTOR* pIn, const DK_MATRIX* pMatrix)
{
    ApplyRows(pOut, pIn, pMatrix, false);
}

void DkTransformPoint(DK_VECTOR* pOut, const DK_VECTOR* pIn, const DK_MATRIX* pMatrix)
{
    const auto& m = pMatrix->m;
    int32_t x = pIn->x, y = pIn->y, z = pIn->z;
    int32_t out[3];
    for (int r = 0; r < 3; ++r)
        out[r] = FfAdd(FfAdd(FfMul(m[r][0], x), FfMul(m[r][1], y)), FfMul(m[r][2], z));
    pOut->x = out[0];
    pOut->y = out[1];
    pOut->z = out[2];
}

void DkApplyMatrixToVectorFloat(float* afOut, const DK_VECTOR* pIn, const DK_MATRIX* pMatrix)
{
    ApplyRowsToFloat(afOut, pIn->x, pIn->y, pIn->z, pMatrix);
}

void DkTransformPointToFloat(float* afOut, int32_t x, int32_t y, int32_t z,
                             const DK_MATRIX* pMatrix)
{
    ApplyRowsToFloat(afOut, x, y, z, pMatrix);
}

void DkTransformScreenPoint(float* afOut, const int16_t* anPoint, const DK_MATRIX* pMatrix)
{
    ApplyRowsToFloat(afOut, anPoint[0], anPoint[1], anPoint[2], pMatrix);
}

DK_MATRIX* DkRotateMatrixX(DK_MATRIX* pMatrix, int32_t nAngle)
{
    DK_MATRIX rotation;
    RotationX(&rotation, nAngle);
    DkMultiplyMatrix(pMatrix, pMatrix, &rotation);
    return pMatrix;
}

DK_MATRIX* DkRotateMatrixY(DK_MATRIX* pMatrix, int32_t nAngle)
{
    DK_MATRIX rotation;
    RotationY(&rotation, nAngle);
    DkMultiplyMatrix(pMatrix, pMatrix, &rotation);
    return pMatrix;
}

DK_MATRIX* DkRotateMatrixZ(DK_MATRIX* pMatrix, int32_t nAngle)
{
    DK_MATRIX rotation;
    RotationZ(&rotation, nAngle);
    DkMultiplyMatrix(pMatrix, pMatrix, &rotation);
    return pMatrix;
}

void DkRotationMatrixZ(DK_MATRIX* pMatrix, int16_t nAngle)
{
    int32_t s = Sine(nAngle);
    int32_t c = Cosine(nAngle);
    const int32_t aRows[3][3] = {{c, s, 0}, {-s, c, 0}, {0, 0, DK_FIXED_ONE}};
    SetRotationRows(pMatrix, aRows);
}

void DkRotateAboutPoint(DK_VECTOR* pResult, DK_VECTOR* pPoint, const DK_VECTOR* pPivot,
                        const DK_MATRIX* pMatrix)
{
    DK_MATRIX move;
    DK_VECTOR moved;
    TranslationMatrix(&move, FfNeg(pPivot->x), FfNeg(pPivot->y), 0);
    DkApplyMatrixToVector(&moved, pPoint, &move);
    DkApplyMatrixToVector(pPoint, &moved, pMatrix);
    TranslationMatrix(&move, pPivot->x, pPivot->y, 0);
    DkApplyMatrixToVector(pResult, pPoint, &move);
}

void DkActorMatrixFromAngles(DK_MATRIX* pOut, int16_t ax, int16_t ay, int16_t az,
                             const DK_VECTOR* pPosition)
{
    ANGLE_TERMS t = AngleTerms(ax, ay, az);
    int32_t h = FfMul(t.sy, t.sx);
    int32_t k = FfMul(t.cy, t.sx);
    int32_t aRows[3][3];
    aRows[0][0] = FfAdd(FfMul(t.cz, t.cy), FfMul(t.sz, h));
    aRows[0][1] = FfMul(t.sz, t.cx);
    aRows[0][2] = FfAdd(FfMul(t.cz, -t.sy), FfMul(t.sz, k));
    aRows[1][0] = FfAdd(FfMul(t.cy, -t.sz), FfMul(t.cz, h));
    aRows[1][1] = FfMul(t.cz, t.cx);
    aRows[1][2] = FfAdd(FfMul(-t.sy, -t.sz), FfMul(t.cz, k));
    aRows[2][0] = FfMul(t.cx, t.sy);
    aRows[2][1] = -t.sx;
    aRows[2][2] = FfMul(t.cx, t.cy);
    SetActorRows(pOut, aRows, pPosition->x, pPosition->y, pPosition->z);
}

void DkActorMatrixFromAngles2(DK_MATRIX* pOut, int16_t ax, int16_t ay, int16_t az,
                              const DK_VECTOR* pPosition)
{
    int32_t aRows[3][3];
    CameraRows(aRows, ax, ay, az);
    SetActorRows(pOut, aRows, pPosition->x, pPosition->y, pPosition->z);
}

void DkActorMatrixFromAnglesNegated(DK_MATRIX* pOut, int16_t ax, int16_t ay, int16_t az,
                                    const DK_VECTOR* pPosition)
{
    int32_t aRows[3][3];
    CameraRows(aRows, ax, ay, az);
    SetActorRows(pOut, aRows, FfNeg(pPosition->x), FfNeg(pPosition->y), FfNeg(pPosition->z));
}

void DkInvertMatrix(DK_MATRIX* pOut, const DK_MATRIX* pIn)
{
    const DK_MATRIX in = *pIn;
    const auto& m = in.m;
    int32_t c0 = FfSub(FfMul(m[1][1], m[2][2]), FfMul(m[2][1], m[1][2]));
    int32_t c1 = FfSub(FfMul(m[2][1], m[0][2]), FfMul(m[2][2], m[0][1]));
    int32_t c2 = FfSub(FfMul(m[1][2], m[0][1]), FfMul(m[1][1], m[0][2]));
    int32_t nDet = FfAdd(FfAdd(FfMul(c0, m[0][0]), FfMul(c1, m[1][0])), FfMul(c2, m[2][0]));
    // 2^32 / det does not fit in 32 bits for a determinant of raw ±1: singular as well.
    if (nDet >= -1 && nDet <= 1)
    {
        DkIdentityMatrix(pOut);
        return;
    }
    int32_t r = FfDiv(DK_FIXED_ONE, nDet);
    auto& o = pOut->m;
    o[0][3] = o[1][3] = o[2][3] = 0;
    o[0][0] = FfMul(r, c0);
    o[0][1] = FfMul(r, c1);
    o[0][2] = FfMul(r, c2);
    o[1][0] = FfMul(r, FfSub(FfMul(m[1][2], m[2][0]), FfMul(m[2][2], m[1][0])));
    o[1][1] = FfMul(r, FfSub(FfMul(m[2][2], m[0][0]), FfMul(m[0][2], m[2][0])));
    o[1][2] = FfMul(r, FfSub(FfMul(m[0][2], m[1][0]), FfMul(m[1][2], m[0][0])));
    o[2][0] = FfMul(r, FfSub(FfMul(m[2][1], m[1][0]), FfMul(m[1][1], m[2][0])));
    o[2][1] = FfMul(r, FfSub(FfMul(m[0][1], m[2][0]), FfMul(m[2][1], m[0][0])));
    o[2][2] = FfMul(r, FfSub(FfMul(m[1][1], m[0][0]), FfMul(m[0][1], m[1][0])));
    int32_t tx = FfNeg(m[3][0]), ty = FfNeg(m[3][1]), tz = FfNeg(m[3][2]);
    for (int j = 0; j < 3; ++j)
        o[3][j] = FfAdd(FfAdd(FfMul(tx, o[0][j]), FfMul(ty, o[1][j])), FfMul(tz, o[2][j]));
    o[3][3] = DK_FIXED_ONE;
}

int32_t DkTruncateFloat(float f)
{
    if (!(f > -2147483904.0f && f < 2147483648.0f))
        return INT32_MIN;
    return static_cast<int32_t>(f);
}

int32_t DkFloatToFixed(float f)
{
    return DkTruncateFloat(f * 65536.0f);
}
