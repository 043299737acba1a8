#include "engine/pc/3d/matrixop.h"

#include <cstdint>

#include "engine/include/dk_ff.h"
#include "engine/pc/display/2dinit.h"

void DkApplyPerspectiveMatrixToVector(int32_t* anOut, const DK_VECTOR* pIn,
                                      const DK_MATRIX* pMatrix)
{
    const auto& m = pMatrix->m;
    int32_t x = pIn->x, y = pIn->y, z = pIn->z;
    int32_t aSums[3];
    const int aColumns[3] = {0, 1, 3};
    for (int i = 0; i < 3; ++i)
    {
        int c = aColumns[i];
        aSums[i] =
            FfAdd(FfAdd(FfAdd(FfMul(m[0][c], x), FfMul(m[1][c], y)), FfMul(m[2][c], z)), m[3][c]);
    }
    float fX = static_cast<float>(aSums[0] / 65536.0);
    float fY = static_cast<float>(aSums[1] / 65536.0);
    float fW = static_cast<float>(aSums[2] / 65536.0);
    float fScaleX = fW / static_cast<float>(d2d->nWidth / 2);
    float fScaleY = fW / static_cast<float>(d2d->nHeight / 2);
    float fQx = fX / fScaleX;
    float fQy = fY / fScaleY;
    anOut[0] = DkTruncateFloat(fQx * 65536.0f);
    anOut[1] = DkTruncateFloat(-fQy * 65536.0f);
    DkTryBoolFailed("DkApplyPerspectiveMatrixToVector: This is not a correct implementation - "
                    "does not take viewport settings into consideration",
                    __LINE__, __FILE__);
}
