// The one matrix operation that reads the display: a point's screen position through a
// perspective matrix, scaled by the display's size. The rest of the module is plain arithmetic
// and lives in engine/common/matrixop.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"

// Screen point in 16.16 centred on 0 (anOut holds two int32); reports on every call.
void DkApplyPerspectiveMatrixToVector(int32_t* anOut, const DK_VECTOR* pIn,
                                      const DK_MATRIX* pMatrix);
