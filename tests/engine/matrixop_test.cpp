#include "engine/common/matrixop.h"
#include "engine/pc/3d/matrixop.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/engine_test.h"

#include "engine/include/dk_ff.h"
#include "engine/pc/display/2dinit.h"

namespace
{

const int32_t ONE = 0x10000;

class MatrixopTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { DkInitialiseTrigTables(); }
};

DK_MATRIX Matrix(const int32_t (&a)[4][4])
{
    DK_MATRIX m;
    std::memcpy(m.m, a, sizeof m.m);
    return m;
}

const DK_MATRIX kIdentity =
    Matrix({{ONE, 0, 0, 0}, {0, ONE, 0, 0}, {0, 0, ONE, 0}, {0, 0, 0, ONE}});

void ExpectMatrixEq(const DK_MATRIX& expected, const DK_MATRIX& actual)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(expected.m[r][c], actual.m[r][c]) << "element [" << r << "][" << c << "]";
}

void ExpectMatrixNear(const DK_MATRIX& expected, const DK_MATRIX& actual, int32_t nTolerance)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(expected.m[r][c], actual.m[r][c], nTolerance)
                << "element [" << r << "][" << c << "]";
}

void ExpectVectorEq(const DK_VECTOR& expected, const DK_VECTOR& actual)
{
    EXPECT_EQ(expected.x, actual.x);
    EXPECT_EQ(expected.y, actual.y);
    EXPECT_EQ(expected.z, actual.z);
}

// The axis rotations written out from their rows, s = sin a and c = cos a read from the table.
int32_t Sin(int a)
{
    return gaSinTable[a & 4095];
}
int32_t Cos(int a)
{
    return gaSinTable[(a + 1024) & 4095];
}
DK_MATRIX RotX(int a)
{
    int32_t s = Sin(a), c = Cos(a);
    return Matrix({{ONE, 0, 0, 0}, {0, c, -s, 0}, {0, s, c, 0}, {0, 0, 0, ONE}});
}
DK_MATRIX RotY(int a)
{
    int32_t s = Sin(a), c = Cos(a);
    return Matrix({{c, 0, s, 0}, {0, ONE, 0, 0}, {-s, 0, c, 0}, {0, 0, 0, ONE}});
}
DK_MATRIX RotZ(int a)
{
    int32_t s = Sin(a), c = Cos(a);
    return Matrix({{c, -s, 0, 0}, {s, c, 0, 0}, {0, 0, ONE, 0}, {0, 0, 0, ONE}});
}
DK_MATRIX Product(const DK_MATRIX& a, const DK_MATRIX& b)
{
    DK_MATRIX out;
    DkMultiplyMatrix(&out, &a, &b);
    return out;
}
DK_MATRIX Translation(int32_t x, int32_t y, int32_t z)
{
    DK_MATRIX m = kIdentity;
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}
DK_VECTOR Apply(const DK_VECTOR& p, const DK_MATRIX& m)
{
    DK_VECTOR out;
    DkApplyMatrixToVector(&out, &p, &m);
    return out;
}

// Independent of the engine's double arithmetic: long double throughout.
int64_t Trunc(long double v)
{
    return static_cast<int64_t>(v);
}
long double Angle(int i)
{
    return static_cast<long double>((i / 4096.0) * 6.283185307179586);
}
int64_t AngleUnits(long double fRadians)
{
    return Trunc(std::trunc(fRadians * 65536.0L) * static_cast<long double>(0.009947183943243459));
}

TEST_F(MatrixopTest, TablesFollowTheirFormulasAndAreRebuiltTheSame)
{
    std::memset(gaSinTable, 0x5A, sizeof gaSinTable);
    std::memset(gaTanTable, 0x5A, sizeof gaTanTable);
    std::memset(gaSqrtTable, 0x5A, sizeof gaSqrtTable);
    std::memset(gaAsinTable, 0x5A, sizeof gaAsinTable);
    std::memset(gaAtanTable, 0x5A, sizeof gaAtanTable);
    DkInitialiseTrigTables();

    for (int i = 0; i < 4096; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(Trunc(std::sin(Angle(i)) * 65536.0L), gaSinTable[i]);
        if (i != 1024 && i != 3072)
        {
            EXPECT_EQ(Trunc(std::tan(Angle(i)) * 65536.0L), gaTanTable[i]);
        }
        EXPECT_EQ(Trunc(std::sqrt((16.0L * i + 8.0L) / 65536.0L) * 65536.0L), gaSqrtTable[i]);
        EXPECT_EQ(AngleUnits(std::asin(i / 4095.0L)), gaAsinTable[i]);
        if (i < 512)
        {
            EXPECT_EQ(AngleUnits(std::atan(i / 511.0L)), gaAtanTable[i]);
        }
    }
}

TEST_F(MatrixopTest, TellingTableValues)
{
    struct Case
    {
        const char* name;
        int64_t actual;
        int64_t expected;
    };
    const Case cases[] = {
        {"sin[0]", gaSinTable[0], 0},
        {"sin[512]", gaSinTable[512], 46340},
        {"sin[1024]", gaSinTable[1024], 65536},
        {"sin[2048]", gaSinTable[2048], 0},
        {"sin[3072]", gaSinTable[3072], -65536},
        {"tan[512]", gaTanTable[512], 65535},
        {"tan[1023]", gaTanTable[1023], 42722796},
        {"tan[1024]", gaTanTable[1024], 0x7FFFFFFF},
        {"tan[1025]", gaTanTable[1025], -42722796},
        {"tan[3072]", gaTanTable[3072], 0x7FFFFFFF},
        {"sqrt[0]", gaSqrtTable[0], 724},
        {"sqrt[4095]", gaSqrtTable[4095], 65531},
        {"asin[2048]", gaAsinTable[2048], 341},
        {"asin[4095]", gaAsinTable[4095], 1023},
        {"asin[4096]", gaAsinTable[4096], 1024},
        {"atan[256]", gaAtanTable[256], 302},
        {"atan[511]", gaAtanTable[511], 511},
        {"atan[512]", gaAtanTable[512], 512},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, c.actual) << c.name;
}

TEST_F(MatrixopTest, RotationMatrixZMasksItsAngle)
{
    struct Case
    {
        int16_t angle;
        int sinIndex;
        int cosIndex;
    };
    const Case cases[] = {
        {0, 0, 1024}, {-1, 4095, 1023}, {4096, 0, 1024}, {-32768, 0, 1024}, {3072, 3072, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.angle);
        int32_t s = gaSinTable[c.sinIndex], co = gaSinTable[c.cosIndex];
        DK_MATRIX m = Matrix({{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}});
        DkRotationMatrixZ(&m, c.angle);
        ExpectMatrixEq(Matrix({{co, s, 0, 0}, {-s, co, 0, 0}, {0, 0, ONE, 0}, {0, 0, 0, ONE}}), m);
    }

    // A quarter turn takes the X axis to the Y axis.
    DK_MATRIX m;
    DkRotationMatrixZ(&m, 1024);
    ExpectVectorEq({0, ONE, 0}, Apply({ONE, 0, 0}, m));
}

TEST_F(MatrixopTest, ProductActsLeftFirstAndTruncatesEachTerm)
{
    const DK_MATRIX move = Translation(5 * ONE, 0, 0);
    DK_MATRIX turn = kIdentity;
    DkRotateMatrixZ(&turn, 1024);
    const DK_VECTOR p = {ONE, 0, 0};

    // Moved to (6, 0, 0), then turned: the X axis goes to -Y.
    ExpectVectorEq({0, -6 * ONE, 0}, Apply(p, Product(move, turn)));
    ExpectVectorEq(Apply(Apply(p, move), turn), Apply(p, Product(move, turn)));
    // Turned to (0, -1, 0), then moved.
    ExpectVectorEq({5 * ONE, -ONE, 0}, Apply(p, Product(turn, move)));

    // Every product is truncated before the sum (two halves of a unit make nothing), and the
    // sum wraps in 32 bits.
    DK_MATRIX a = Matrix({{1, 1, 0, 0}, {0x40000000, 0x40000000, 0, 0}, {-1, 0, 0, 0}, {0}});
    DK_MATRIX b = Matrix({{0x8000, 0, 0, 0}, {0x8000, ONE, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}});
    b.m[0][1] = ONE;
    DK_MATRIX out = Product(a, b);
    EXPECT_EQ(0, out.m[0][0]);
    EXPECT_EQ(INT32_MIN, out.m[1][1]);
    EXPECT_EQ(-1, out.m[2][0]);
}

TEST_F(MatrixopTest, ProductMayWriteOverEitherInput)
{
    const DK_MATRIX a = Product(Product(RotX(300), RotY(-1700)), Translation(3 * ONE, -ONE, 77));
    const DK_MATRIX b = Product(RotZ(911), Translation(-12345, 2 * ONE, ONE / 3));
    const DK_MATRIX expected = Product(a, b);

    DK_MATRIX outIsA = a;
    DkMultiplyMatrix(&outIsA, &outIsA, &b);
    ExpectMatrixEq(expected, outIsA);

    DK_MATRIX outIsB = b;
    DkMultiplyMatrix(&outIsB, &a, &outIsB);
    ExpectMatrixEq(expected, outIsB);

    DK_MATRIX square = a;
    DkMultiplyMatrix(&square, &square, &square);
    ExpectMatrixEq(Product(a, a), square);
}

TEST_F(MatrixopTest, FloatProduct)
{
    DK_MATRIX_FLOAT a = {{{2, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 2, 3, 1}}};
    DK_MATRIX_FLOAT b = {{{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 0.5f, 0}, {0, 0, 0, 1}}};
    DkMultiplyMatrixFloat(&a, &a, &b);
    const float expected[4][4] = {{0, 2, 0, 0}, {-1, 0, 0, 0}, {0, 0, 0.5f, 0}, {-2, 1, 1.5f, 1}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(expected[r][c], a.m[r][c]) << r << "," << c;
}

TEST_F(MatrixopTest, VectorTransformsReadColumnsOrRows)
{
    const DK_MATRIX m = Matrix({{1 * ONE, 2 * ONE, 3 * ONE, 0},
                                {4 * ONE, 5 * ONE, 6 * ONE, 0},
                                {7 * ONE, 8 * ONE, 9 * ONE, 0},
                                {10 * ONE, 11 * ONE, 12 * ONE, ONE}});
    const DK_VECTOR p = {ONE, -ONE, 2 * ONE};
    DK_VECTOR out;

    DkApplyMatrixToVector(&out, &p, &m);
    ExpectVectorEq({21 * ONE, 24 * ONE, 27 * ONE}, out);
    DkTransformPointTransposed(&out, &p, &m);
    ExpectVectorEq({11 * ONE, 13 * ONE, 15 * ONE}, out);
    DkTransformPoint(&out, &p, &m);
    ExpectVectorEq({5 * ONE, 11 * ONE, 17 * ONE}, out);

    float f[3];
    DkApplyMatrixToVectorFloat(f, &p, &m);
    EXPECT_EQ(21.0f, f[0]);
    EXPECT_EQ(24.0f, f[1]);
    EXPECT_EQ(27.0f, f[2]);
    DkTransformPointToFloat(f, p.x, p.y, p.z, &m);
    EXPECT_EQ(21.0f, f[0]);
    EXPECT_EQ(24.0f, f[1]);
    EXPECT_EQ(27.0f, f[2]);

    // The screen point's int16 are sign-extended raw 16.16 values.
    const DK_MATRIX shift = Translation(ONE, 1, 0);
    const int16_t screen[3] = {-32768, 16384, -1};
    DkTransformScreenPoint(f, screen, &shift);
    EXPECT_EQ(0.5f, f[0]);
    EXPECT_EQ(16385.0f / 65536.0f, f[1]);
    EXPECT_EQ(-1.0f / 65536.0f, f[2]);
}

TEST_F(MatrixopTest, RotateMatrixTurnsEveryRowIncludingTheTranslation)
{
    struct Case
    {
        const char* name;
        DK_MATRIX* (*rotate)(DK_MATRIX*, int32_t);
        DK_MATRIX expected;
    };
    // From a translation (1, 2, 3), a quarter turn about each axis.
    const Case cases[] = {
        {"X", DkRotateMatrixX,
         Matrix({{ONE, 0, 0, 0}, {0, 0, -ONE, 0}, {0, ONE, 0, 0}, {ONE, 3 * ONE, -2 * ONE, ONE}})},
        {"Y", DkRotateMatrixY,
         Matrix({{0, 0, ONE, 0}, {0, ONE, 0, 0}, {-ONE, 0, 0, 0}, {-3 * ONE, 2 * ONE, ONE, ONE}})},
        {"Z", DkRotateMatrixZ,
         Matrix({{0, -ONE, 0, 0}, {ONE, 0, 0, 0}, {0, 0, ONE, 0}, {2 * ONE, -ONE, 3 * ONE, ONE}})},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DK_MATRIX m = Translation(ONE, 2 * ONE, 3 * ONE);
        EXPECT_EQ(&m, c.rotate(&m, 1024 + 4096));
        ExpectMatrixEq(c.expected, m);
    }
}

TEST_F(MatrixopTest, RotateAboutPointUsesOnlyThePivotsXAndY)
{
    DK_MATRIX m;
    DkRotationMatrixZ(&m, 1024);
    m.m[3][2] = ONE;
    DK_VECTOR point = {3 * ONE, ONE, 5 * ONE};
    const DK_VECTOR pivot = {ONE, ONE, 99 * ONE};
    DK_VECTOR result;

    DkRotateAboutPoint(&result, &point, &pivot, &m);

    // (2, 0, 5) about the pivot turns to (0, 2, 5) and m lifts it by 1.
    ExpectVectorEq({0, 2 * ONE, 6 * ONE}, point);
    ExpectVectorEq({ONE, 3 * ONE, 6 * ONE}, result);
}

TEST_F(MatrixopTest, ActorMatricesAreProductsOfAxisRotations)
{
    struct Angles
    {
        int16_t ax, ay, az;
    };
    const Angles cases[] = {
        {0, 0, 0},         {100, 200, 300},        {-1, 4095, 1024},
        {512, -700, 2047}, {-32768, 32767, -1234}, {3000, 1500, -3500},
    };
    const DK_VECTOR pos = {12 * ONE, -7 * ONE, INT32_MIN};
    for (const Angles& a : cases)
    {
        SCOPED_TRACE(testing::Message() << a.ax << " " << a.ay << " " << a.az);
        DK_MATRIX rz = RotZ(-a.az), rx = RotX(-a.ax), ry = RotY(-a.ay);

        DK_MATRIX expected = Product(rz, Product(rx, ry));
        expected.m[3][0] = pos.x;
        expected.m[3][1] = pos.y;
        expected.m[3][2] = pos.z;
        DK_MATRIX m;
        DkActorMatrixFromAngles(&m, a.ax, a.ay, a.az, &pos);
        ExpectMatrixEq(expected, m);

        DK_MATRIX camera = Product(Product(rz, ry), rx);
        camera.m[3][0] = pos.x;
        camera.m[3][1] = pos.y;
        camera.m[3][2] = pos.z;
        DkActorMatrixFromAngles2(&m, a.ax, a.ay, a.az, &pos);
        ExpectMatrixEq(camera, m);

        // The same turns applied one after another, truncated in the other grouping.
        DK_MATRIX chain = kIdentity;
        DkRotateMatrixY(DkRotateMatrixX(DkRotateMatrixZ(&chain, -a.az), -a.ax), -a.ay);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(expected.m[r][c], chain.m[r][c], 2) << r << "," << c;

        camera.m[3][0] = -pos.x;
        camera.m[3][1] = -pos.y;
        camera.m[3][2] = pos.z; // -INT32_MIN wraps to itself
        DkActorMatrixFromAnglesNegated(&m, a.ax, a.ay, a.az, &pos);
        ExpectMatrixEq(camera, m);
    }
}

TEST_F(MatrixopTest, InverseOfIdentityTranslationAndScale)
{
    DK_MATRIX m;
    DkInvertMatrix(&m, &kIdentity);
    ExpectMatrixEq(kIdentity, m);

    const DK_MATRIX move = Translation(3 * ONE, -5 * ONE, 12345);
    DkInvertMatrix(&m, &move);
    ExpectMatrixEq(Translation(-3 * ONE, 5 * ONE, -12345), m);

    // Column 3 of the result is written whatever was there.
    DK_MATRIX scale = Matrix(
        {{2 * ONE, 0, 0, 0}, {0, 4 * ONE, 0, 0}, {0, 0, ONE / 2, 0}, {2 * ONE, 4 * ONE, ONE, ONE}});
    m = Matrix({{9, 9, 9, 9}, {9, 9, 9, 9}, {9, 9, 9, 9}, {9, 9, 9, 9}});
    DkInvertMatrix(&m, &scale);
    ExpectMatrixEq(Matrix({{ONE / 2, 0, 0, 0},
                           {0, ONE / 4, 0, 0},
                           {0, 0, 2 * ONE, 0},
                           {-ONE, -ONE, -2 * ONE, ONE}}),
                   m);

    // In place.
    DkInvertMatrix(&scale, &scale);
    ExpectMatrixEq(m, scale);
}

TEST_F(MatrixopTest, InverseUndoesAnActorMatrix)
{
    DK_MATRIX m, inverse;
    const DK_VECTOR pos = {10 * ONE, -3 * ONE, 7 * ONE + ONE / 2};
    DkActorMatrixFromAngles(&m, 300, -1100, 2500, &pos);
    DkInvertMatrix(&inverse, &m);
    ExpectMatrixNear(kIdentity, Product(m, inverse), 16);

    DK_VECTOR p = {ONE, 2 * ONE, -3 * ONE};
    DK_VECTOR back = Apply(Apply(p, m), inverse);
    EXPECT_NEAR(p.x, back.x, 16);
    EXPECT_NEAR(p.y, back.y, 16);
    EXPECT_NEAR(p.z, back.z, 16);
}

TEST_F(MatrixopTest, SingularMatricesInvertToTheIdentity)
{
    struct Case
    {
        const char* name;
        DK_MATRIX m;
    };
    const Case cases[] = {
        {"zero", Matrix({{0}, {0}, {0}, {0}})},
        {"flat", Matrix({{ONE, 0, 0, 0}, {0, ONE, 0, 0}, {0, 0, 0, 0}, {5, 6, 7, ONE}})},
        // Determinants of raw +1 and -1, whose reciprocals do not fit in 32 bits.
        {"det +1", Matrix({{256, 0, 0, 0}, {0, 256, 0, 0}, {0, 0, ONE, 0}, {5, 6, 7, ONE}})},
        {"det -1", Matrix({{256, 0, 0, 0}, {0, 256, 0, 0}, {0, 0, -ONE, 0}, {5, 6, 7, ONE}})},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DK_MATRIX m = Matrix({{9, 9, 9, 9}, {9, 9, 9, 9}, {9, 9, 9, 9}, {9, 9, 9, 9}});
        testing::internal::CaptureStderr();
        DkInvertMatrix(&m, &c.m);
        EXPECT_EQ("", testing::internal::GetCapturedStderr());
        ExpectMatrixEq(kIdentity, m);
    }
}

class PerspectiveTest : public MatrixopTest
{
protected:
    void SetUp() override
    {
        saved_ = *d2d;
        d2d->nWidth = 640;
        d2d->nHeight = 480;
    }
    void TearDown() override { *d2d = saved_; }

    DK_D2D saved_;
};

TEST_F(PerspectiveTest, DividesByDepthAndReportsEveryCall)
{
    // w = z: column 3 is (0, 0, 1, 0).
    DK_MATRIX m = kIdentity;
    m.m[2][3] = ONE;
    m.m[3][3] = 0;
    const DK_VECTOR p = {2 * ONE, ONE, 4 * ONE};
    int32_t out[2] = {0, 0};

    testing::internal::CaptureStderr();
    DkApplyPerspectiveMatrixToVector(out, &p, &m);
    DkApplyPerspectiveMatrixToVector(out, &p, &m);
    std::string err = testing::internal::GetCapturedStderr();

    // 2 / (4 / 320) and 1 / (4 / 240) in single precision, screen y downwards: 4 / 240
    // rounds up as a float, so y comes out a raw unit short of 60.
    EXPECT_EQ(160 * ONE, out[0]);
    EXPECT_EQ(-60 * ONE + 1, out[1]);
    EXPECT_EQ(2, CountReports(err));
    EXPECT_NE(std::string::npos,
              err.find("DkApplyPerspectiveMatrixToVector: This is not a correct implementation - "
                       "does not take viewport settings into consideration"));
    EXPECT_NE(std::string::npos, err.find("engine/pc/3d/matrixop.cpp"));
}

TEST_F(PerspectiveTest, ZeroDepthGivesTheIndefiniteInteger)
{
    DK_MATRIX m = kIdentity;
    m.m[3][3] = 0;
    const DK_VECTOR p = {ONE, 0, 0};
    int32_t out[2] = {0, 0};

    testing::internal::CaptureStderr();
    DkApplyPerspectiveMatrixToVector(out, &p, &m);
    testing::internal::GetCapturedStderr();

    EXPECT_EQ(INT32_MIN, out[0]);
    EXPECT_EQ(INT32_MIN, out[1]);
}

} // namespace
