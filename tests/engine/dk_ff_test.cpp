#include "engine/include/dk_ff.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/engine_test.h"

namespace
{

const int32_t ONE = 0x10000;

class DkFfTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { DkInitialiseTrigTables(); }
};

void ExpectVectorEq(const DK_VECTOR& expected, const DK_VECTOR& actual)
{
    EXPECT_EQ(expected.x, actual.x);
    EXPECT_EQ(expected.y, actual.y);
    EXPECT_EQ(expected.z, actual.z);
}

struct BinaryCase
{
    int32_t a, b, expected;
};

TEST_F(DkFfTest, MultiplyShiftsTheWideProductArithmeticallyAndKeepsItsLowWord)
{
    const BinaryCase cases[] = {
        {ONE, ONE, ONE},
        {-1, 1, -1},
        {1, 0x8000, 0},
        {-1, 0x8000, -1},
        {0x8000, -0x8000, -0x4000},
        {3 * ONE, -ONE / 2, -3 * ONE / 2},
        {0x7FFFFFFF, 0x7FFFFFFF, -ONE},
        {INT32_MIN, INT32_MIN, 0},
    };
    for (const BinaryCase& c : cases)
        EXPECT_EQ(c.expected, FfMul(c.a, c.b)) << c.a << " * " << c.b;
}

TEST_F(DkFfTest, DivideTruncatesTowardZero)
{
    const BinaryCase cases[] = {
        {ONE, 2 * ONE, ONE / 2},           {-ONE, 3 * ONE, -21845}, {ONE, -3 * ONE, -21845},
        {-7 * ONE, -2 * ONE, 7 * ONE / 2}, {1, ONE + 1, 0},
    };
    for (const BinaryCase& c : cases)
        EXPECT_EQ(c.expected, FfDiv(c.a, c.b)) << c.a << " / " << c.b;
}

TEST_F(DkFfTest, DivideByZeroReportsOnceAndYieldsMinusOne)
{
    testing::internal::CaptureStderr();
    int32_t nResult = FfDiv(5 * ONE, 0);
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(-1, nResult);
    EXPECT_EQ(1, CountReports(err));
    EXPECT_NE(std::string::npos, err.find("DIVIDE BY ZERO"));
    EXPECT_NE(std::string::npos, err.find("engine/include/dk_ff.h"));
}

TEST_F(DkFfTest, DotAndCrossTruncateEachProduct)
{
    const DK_VECTOR a = {ONE, 2 * ONE, 3 * ONE};
    const DK_VECTOR b = {4 * ONE, -5 * ONE, 6 * ONE};
    EXPECT_EQ(12 * ONE, FfVecDot(&a, &b));

    // Three halves of a raw unit make nothing; the sum wraps.
    const DK_VECTOR ones = {1, 1, 1};
    const DK_VECTOR halves = {0x8000, 0x8000, 0x8000};
    EXPECT_EQ(0, FfVecDot(&ones, &halves));
    const DK_VECTOR big = {0x40000000, 0x40000000, 0};
    const DK_VECTOR unit = {ONE, ONE, ONE};
    EXPECT_EQ(INT32_MIN, FfVecDot(&big, &unit));

    DK_VECTOR out;
    const DK_VECTOR c = {4 * ONE, 5 * ONE, 6 * ONE};
    FfVecCross(&out, &a, &c);
    ExpectVectorEq({-3 * ONE, 6 * ONE, -3 * ONE}, out);
    const DK_VECTOR x = {ONE, 0, 0}, y = {0, ONE, 0};
    FfVecCross(&out, &x, &y);
    ExpectVectorEq({0, 0, ONE}, out);
}

TEST_F(DkFfTest, SquareRootNormalisesIntoTheTable)
{
    struct Case
    {
        int32_t x;
        int32_t expected;
    };
    // Roots of interval midpoints: 1.0 reads entry 1024 (32775) doubled, 2.0 entry 2048
    // (46346) doubled; the top of the range reads entries 2047 and 4095 shifted by 8.
    const Case cases[] = {
        {0, 0},           {1, 256},          {3, 443},           {ONE, 65550},
        {2 * ONE, 92692}, {4 * ONE, 131100}, {25 * ONE, 327728}, {0x7FFFFFFF, 11861760},
        {-1, 16775936}, // taken as unsigned
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, FfSqrt(c.x)) << c.x;

    const DK_VECTOR v = {3 * ONE, 4 * ONE, 0};
    EXPECT_EQ(327728, FfVecLength(&v));
}

TEST_F(DkFfTest, ScaleAndDivideGoThroughTheFixedMultiply)
{
    DK_VECTOR v = {ONE, -2 * ONE, -1};
    FfVecScale(&v, &v, ONE / 2);
    ExpectVectorEq({ONE / 2, -ONE, -1}, v);

    // Divide multiplies by the reciprocal 2^32 / 3.0 = 21845, so 3.0 / 3.0 is not quite 1.0.
    const DK_VECTOR w = {3 * ONE, -6 * ONE, 3 * ONE / 2};
    DK_VECTOR out;
    FfVecDivide(&out, &w, 3 * ONE);
    ExpectVectorEq({65535, -131070, 32767}, out);

    testing::internal::CaptureStderr();
    FfVecDivide(&out, &w, 0);
    EXPECT_EQ(1, CountReports(testing::internal::GetCapturedStderr()));
}

TEST_F(DkFfTest, NormaliseReturnsTheSquaredLength)
{
    DK_VECTOR out = {9, 9, 9};
    const DK_VECTOR zero = {0, 0, 0};
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, FfVecNormalise(&out, &zero));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    ExpectVectorEq({0, 0, 0}, out);

    // Length 327728 (5.0 by the table), reciprocal 13105.
    DK_VECTOR v = {3 * ONE, 4 * ONE, 0};
    EXPECT_EQ(25 * ONE, FfVecNormalise(&v, &v));
    ExpectVectorEq({39315, 52420, 0}, v);
}

TEST_F(DkFfTest, ArcsineReadsTheTableBySixteenths)
{
    const BinaryCase cases[] = {
        // a is the sine; b is unused.
        {0, 0, 0},           {15, 0, 0},         {ONE / 2, 0, 341},
        {-ONE / 2, 0, -341}, {ONE - 1, 0, 1023}, {ONE, 0, 1024},
        {2 * ONE, 0, 1024},  {-ONE, 0, -1024},   {INT32_MIN, 0, -1024},
    };
    for (const BinaryCase& c : cases)
        EXPECT_EQ(c.expected, FfAsin(c.a)) << c.a;
}

TEST_F(DkFfTest, ArctangentOfARatio)
{
    const BinaryCase cases[] = {
        {0, 5, 0},
        {0, 0, 0},
        {5, 0, 1024},
        {-5, 0, 1024},
        {ONE, ONE, 512},
        {-ONE, -ONE, 512},
        {ONE, -ONE, -512},
        {ONE, 2 * ONE, 302},
        {2 * ONE, ONE, 1024 - 302},
        {-2 * ONE, ONE, -(1024 - 302)},
        {ONE, -2 * ONE, -302},
        {INT32_MIN, 1, -1024},
        {1, INT32_MIN, 0},
    };
    for (const BinaryCase& c : cases)
        EXPECT_EQ(c.expected, FfAtan(c.a, c.b)) << c.a << ", " << c.b;
}

DK_MATRIX Numbered()
{
    DK_MATRIX m;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = 100 + i;
    return m;
}

TEST_F(DkFfTest, MatrixCopiesMoveThreeWordsOfEachRow)
{
    const DK_MATRIX src = Numbered();
    DK_MATRIX viaCopy, viaCopyTo;
    for (int i = 0; i < 16; ++i)
        viaCopy.m[i / 4][i % 4] = viaCopyTo.m[i / 4][i % 4] = -i;

    FfMatCopy(&src, &viaCopy);
    FfMatCopyTo(&viaCopyTo, &src);

    for (const DK_MATRIX* m : {&viaCopy, &viaCopyTo})
        for (int r = 0; r < 4; ++r)
        {
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(src.m[r][c], m->m[r][c]);
            EXPECT_EQ(-(4 * r + 3), m->m[r][3]);
        }
}

TEST_F(DkFfTest, RowGettersAndSetters)
{
    struct Case
    {
        int row;
        void (*get)(DK_VECTOR*, const DK_MATRIX*);
        void (*set)(const DK_VECTOR*, DK_MATRIX*);
    };
    const Case cases[] = {
        {0, FfMatGetRow0, FfMatSetRow0},
        {1, FfMatGetRow1, FfMatSetRow1},
        {2, FfMatGetRow2, FfMatSetRow2},
        {3, FfMatGetPosition, FfMatSetPosition},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.row);
        DK_MATRIX m = Numbered();
        DK_VECTOR v;
        c.get(&v, &m);
        ExpectVectorEq({100 + 4 * c.row, 101 + 4 * c.row, 102 + 4 * c.row}, v);

        const DK_VECTOR w = {-1, -2, -3};
        c.set(&w, &m);
        for (int i = 0; i < 16; ++i)
        {
            int r = i / 4, col = i % 4;
            int32_t expected = r == c.row && col < 3 ? -(col + 1) : 100 + i;
            EXPECT_EQ(expected, m.m[r][col]) << r << "," << col;
        }
    }
}

} // namespace
