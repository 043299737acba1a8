// Knocked-over objects: a box falls when more than 0.1 above the ground and is put on it when
// nearer; its motion is damped and snaps to rest; it settles on an allowed face and ends inert
// (a light box) or at rest (a heavier one, or a cone); the moving list holds at most 50; the
// reset puts the actors back; and the record's image round-trips with the data kit's.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/game/objects_fixture.h"
#include "tools/datakit/moving_objects_writer.h"

namespace
{

class KnockedOverTest : public ObjectsTest
{
protected:
    void SetUp() override
    {
        ObjectsTest::SetUp();
        StandOn("flat-tarmac");
    }

    static int State(const HitObject* p) { return (p->uFlags & HIT_STATE_MASK) >> HIT_STATE_SHIFT; }

    // The dt of a tick at one step a tick: 0.04 s.
    static int32_t Dt() { return FfMul(2621, gStepScale); }
};

TEST_F(KnockedOverTest, ABoxMoreThanATenthAboveTheGroundFallsOneNearerIsPutOnIt)
{
    struct Case
    {
        const char* name;
        double above;
        bool falls;
    } cases[] = {{"1.0 above", 1.0, true}, {"0.11 above", 0.11, true}, {"0.05 above", 0.05, false},
                 {"sunk 0.2", -0.2, false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        HitObject* p = KnockableBox(0, {0, Fixed(0.5 + c.above), Fixed(20.0)}, 1, 1);
        p->uFlags |= HIT_STATE_MOVING << HIT_STATE_SHIFT | HIT_MOVING;
        HitObjects_UpdateAll();
        EXPECT_EQ((p->uFlags & HIT_AIRBORNE) != 0, c.falls);
        if (c.falls)
        {
            EXPECT_EQ(p->Velocity.y, FfMul(FfNeg(FfMul(2621, Dt())), 52428))
                << "gravity of the tick, damped";
            EXPECT_EQ(p->Position.y, Fixed(0.5 + c.above));
        }
        else
        {
            EXPECT_NEAR(p->Position.y, Fixed(0.5), 8) << "standing on the ground";
            EXPECT_EQ(p->Translation.y, p->Position.y);
            EXPECT_GE(p->Velocity.y, 0);
        }
    }
}

TEST_F(KnockedOverTest, MotionIsDampedAndSnapsToRestBelowItsLeastValues)
{
    struct Case
    {
        const char* name;
        int32_t speed;
        int32_t spin;
        int32_t speedAfter;
        int32_t spinAfter;
    } cases[] = {
        {"sliding and turning", ONE, ONE, 52428, 52428},
        {"speed just under the least after damping", 81, 0, 0, 0},
        {"speed just over", 82, 0, 65, 0},
        {"spin just under the least after damping", 0, 818, 0, 0},
        {"spin just over", 0, 820, 0, 655},
        {"both small but each over", 82, 820, 65, 655},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        // A light box: its spin is not turned onto the ground's normal.
        HitObject* p = KnockableBox(0, {0, Fixed(0.5), Fixed(20.0)}, 0, 1);
        p->uFlags |= HIT_STATE_MOVING << HIT_STATE_SHIFT | HIT_MOVING | HIT_SPINNING;
        p->Velocity = {c.speed, 0, 0};
        p->Spin = {0, c.spin, 0};
        HitObjects_UpdateAll();
        EXPECT_EQ(p->Velocity.x, c.speedAfter);
        EXPECT_EQ(p->Spin.y, c.spinAfter);
        EXPECT_EQ((p->uFlags & HIT_MOVING) != 0, c.speedAfter != 0);
        EXPECT_EQ((p->uFlags & HIT_SPINNING) != 0, c.spinAfter != 0);
    }
}

TEST_F(KnockedOverTest, AStruckBoxTakesItsImpulseFliesSettlesOnAFaceAndRests)
{
    // Kind 3 boxes and a cone (kind 13 with rest-flag bit 1), struck up and along, one of
    // them set tumbling too.
    struct Case
    {
        const char* name;
        int massClass;
        int kind;
        bool tumbles;
        int endState;
    } cases[] = {
        {"a light box turns inert", 0, 3, false, HIT_STATE_INERT},
        {"a light box tumbles and turns inert", 0, 3, true, HIT_STATE_INERT},
        {"a heavier box rests", 1, 3, false, HIT_STATE_REST},
        {"the heaviest rests", 2, 3, false, HIT_STATE_REST},
        {"a light cone rests", 0, HIT_KIND_CONE, false, HIT_STATE_REST},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        gaNumMovingInList[0] = 0;
        HitObject* p = KnockableBox(0, {0, Fixed(0.5), Fixed(20.0)}, c.massClass, 2);
        p->uKind = static_cast<uint16_t>(2 << 5 | c.kind);
        p->uRestFlags = 0x02;
        p->Impulse = {Fixed(2000.0), Fixed(400.0), 0};
        if (c.tumbles)
            p->SpinImpulse = {Fixed(-500.0), 0, Fixed(-800.0)};
        p->uFlags |= HIT_STATE_HIT << HIT_STATE_SHIFT;
        HitObjects_UpdateAll();
        EXPECT_EQ(State(p), HIT_STATE_MOVING);
        EXPECT_EQ(p->Impulse.x, 0) << "taken";
        EXPECT_EQ(p->Velocity.x, FfMul(FfMul(Fixed(2000.0), 13107), Dt()));
        EXPECT_EQ(gaNumMovingInList[0], 1);
        bool boFlew = false;
        int nTicks = 0;
        while (State(p) == HIT_STATE_MOVING && nTicks < 5000)
        {
            HitObjects_UpdateAll();
            boFlew = boFlew || (p->uFlags & HIT_AIRBORNE);
            ++nTicks;
        }
        EXPECT_TRUE(boFlew);
        EXPECT_EQ(State(p), c.endState) << nTicks << " ticks";
        EXPECT_EQ(p->Velocity.x | p->Velocity.y | p->Velocity.z, 0);
        EXPECT_EQ(p->Spin.x | p->Spin.y | p->Spin.z, 0);
        EXPECT_NEAR(p->aRows[1].y, ONE, 8) << "upright on its allowed face";
        if (c.kind != HIT_KIND_CONE)
        {
            EXPECT_NEAR(p->Position.y, Fixed(0.5), 8) << "on its face";
        }
        EXPECT_GT(p->Position.x, Fixed(0.5));
    }
}

TEST_F(KnockedOverTest, ItSettlesOnTheAllowedAxisNearestTheGroundNormal)
{
    // Tipped over onto its x axis, tumbling no more: with only y allowed it rights itself, with
    // x allowed too it lies on its side, upside down only when that is allowed.
    struct Case
    {
        const char* name;
        uint8_t restFlags;
        DK_VECTOR x, y;
        int axis;
        int32_t sign;
    } cases[] = {
        {"only upright", 0x02, {0, ONE, 0}, {-ONE, 0, 0}, 1, ONE},
        {"on its side", 0x03, {0, ONE, 0}, {-ONE, 0, 0}, 0, ONE},
        {"its side the wrong way up, not allowed", 0x03, {0, -ONE, 0}, {ONE, 0, 0}, 1, ONE},
        {"its side the wrong way up, allowed", 0x0B, {0, -ONE, 0}, {ONE, 0, 0}, 0, -ONE},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        HitObject* p = KnockableBox(0, {0, Fixed(0.5), Fixed(20.0)}, 1, 2);
        p->uRestFlags = c.restFlags;
        p->aRows[0] = c.x;
        p->aRows[1] = c.y;
        p->aRows[2] = {0, 0, ONE};
        p->uFlags |= HIT_STATE_MOVING << HIT_STATE_SHIFT;
        for (int k = 0; k < 100 && State(p) == HIT_STATE_MOVING; ++k)
            HitObjects_UpdateAll();
        EXPECT_EQ(State(p), HIT_STATE_REST);
        EXPECT_NEAR(p->aRows[c.axis].y, c.sign, 8);
        EXPECT_NEAR(p->Position.y, Fixed(0.5), 8);
    }
}

TEST_F(KnockedOverTest, AtMostFiftyMovingRecordsAreListedAndTheCountIsChecked)
{
    for (int i = 0; i < 60; ++i)
    {
        HitObject* p = KnockableBox(i, {Fixed(0.02 * i), Fixed(0.5), Fixed(20.0)}, 1, 1);
        p->Impulse = {ONE, 0, 0};
        p->uFlags |= HIT_STATE_HIT << HIT_STATE_SHIFT;
    }
    HitObjects_UpdateAll();
    EXPECT_EQ(gaNumMovingInList[0], HIT_OBJECT_MOVING);
    EXPECT_EQ(gaMovingObjectList[0][49], 49);
    EXPECT_EQ(State(&gaHitObjects[0][59]), HIT_STATE_MOVING) << "stepped, not listed";
    // A count past the records is held to them.
    gnNumMovingObjects = 100000;
    HitObjects_UpdateAll();
    MovingObjects_Relink();
    HitObjects_Reset(0);
    EXPECT_EQ(gaNumMovingInList[0], 0);
}

TEST_F(KnockedOverTest, StatesFourAndFiveMoveOutsideTheListWithTheirBlockKept)
{
    HitObject* p = KnockableBox(0, {0, Fixed(0.5), Fixed(-7.0)}, 1, 1);
    p->Velocity = {0, 0, Fixed(-100.0)};
    p->uFlags |= HIT_STATE_HIT_UNLISTED << HIT_STATE_SHIFT | HIT_MOVING;
    HitObjects_UpdateAll();
    EXPECT_EQ(State(p), HIT_STATE_MOVING_UNLISTED);
    EXPECT_EQ(gaNumMovingInList[0], 0);
    EXPECT_EQ(p->uBlock, DkGetTrackBlockIndex(p->Position.x, 0, p->Position.z));
    EXPECT_NE(p->uBlock, 0) << "moved on a block";
}

TEST_F(KnockedOverTest, TheResetPutsEveryActorBackOnItsRecordAndRefilesTheSet)
{
    for (int i = 0; i < 3; ++i)
    {
        HitObject* p = KnockableBox(i, {Fixed(1.0 * i), Fixed(0.5), Fixed(20.0)}, 1, 1);
        p->aRows[0] = {0, 0, -ONE};
        p->aRows[2] = {ONE, 0, 0};
        DK_MATRIX& m = p->pActor->Local;
        m = DK_MATRIX{};
        m.m[3][0] = Fixed(99.0);
    }
    gaNumMovingInList[0] = 3;
    HitObjects_Reset(0);
    for (int i = 0; i < 3; ++i)
    {
        SCOPED_TRACE(i);
        const DK_MATRIX& m = gaHitObjects[0][i].pActor->Local;
        EXPECT_EQ(m.m[0][2], -ONE);
        EXPECT_EQ(m.m[1][1], ONE);
        EXPECT_EQ(m.m[2][0], ONE);
        EXPECT_EQ(m.m[3][0], Fixed(1.0 * i));
        EXPECT_EQ(m.m[3][2], Fixed(20.0));
        EXPECT_EQ(gaHitObjects[0][i].pActor->uDirty, 1u);
    }
    EXPECT_EQ(gaNumMovingInList[0], 0);
    EXPECT_EQ(MovingObjects_GetList(0, DkGetTrackBlockIndex(0, 0, Fixed(20.0))), &gaHitObjects[0][0]);
}

TEST_F(KnockedOverTest, TheImageRoundTripsWithTheDataKitsAndRefusesBadRecords)
{
    datakit::HitObjectState s;
    s.position = {4.0, 0.5, -12.0};
    s.halfExtents = {0.25, 0.5, 0.75};
    s.velocity = {1.0, -2.0, 3.0};
    s.spin = {0.5, 0.0, -0.5};
    s.spinImpulse = {0.1, 0.2, 0.3};
    s.impulse = {-1.0, 2.0, -3.0};
    s.inverseInertia = {1.5, 2.5, 3.5};
    s.rows = {datakit::Vec3{0, 0, 1}, datakit::Vec3{0, 1, 0}, datakit::Vec3{-1, 0, 0}};
    s.translation = {4.0, 0.0, -12.0};
    s.radius = 0.95;
    s.groundHeight = -0.5;
    s.kind = (300 << 5) | 13;
    s.groundTriangle = -1;
    s.block = 4095;
    s.flags = 0x80 | 0x40 | (5 << 3) | 0x04 | 2;
    s.restFlags = 0x3A;
    const std::vector<uint8_t> bytes = datakit::FormatHitObject(s);
    ASSERT_EQ(bytes.size(), HIT_OBJECT_IMAGE_SIZE);
    HitObject o{};
    DK_ACTOR actor{};
    o.pActor = &actor;
    o.pNext = &o;
    ASSERT_TRUE(HitObjects_ReadImage(&o, bytes.data(), HIT_OBJECT_IMAGE_SIZE));
    EXPECT_EQ(o.Position.z, Fixed(-12.0));
    EXPECT_EQ(o.HalfExtents.z, Fixed(0.75));
    EXPECT_EQ(o.Velocity.y, Fixed(-2.0));
    EXPECT_EQ(o.auInverseInertia[2], static_cast<uint32_t>(Fixed(3.5)));
    EXPECT_EQ(o.aRows[2].x, -ONE);
    EXPECT_EQ(o.xRadius, Fixed(0.95));
    EXPECT_EQ(o.xGroundHeight, Fixed(-0.5));
    EXPECT_EQ(o.uKind, (300 << 5) | 13);
    EXPECT_EQ(o.nGroundTriangle, -1);
    EXPECT_EQ(o.uBlock, 4095);
    EXPECT_EQ(o.uFlags, s.flags);
    EXPECT_EQ(o.uRestFlags, 0x3A);
    EXPECT_EQ(o.pActor, &actor) << "kept";
    EXPECT_EQ(o.pNext, &o) << "kept";
    std::vector<uint8_t> again(HIT_OBJECT_IMAGE_SIZE + 4, 0xEE);
    EXPECT_EQ(HitObjects_WriteImage(&o, again.data(), HIT_OBJECT_IMAGE_SIZE),
              HIT_OBJECT_IMAGE_SIZE);
    EXPECT_EQ(std::vector<uint8_t>(again.begin(), again.begin() + HIT_OBJECT_IMAGE_SIZE), bytes)
        << "pointer slots 0";
    EXPECT_EQ(HitObjects_WriteImage(&o, again.data(), HIT_OBJECT_IMAGE_SIZE - 1), 0u);

    struct Bad
    {
        const char* name;
        size_t at;
        uint8_t value;
        uint32_t size;
    } bad[] = {
        {"one byte short", 0, 0, HIT_OBJECT_IMAGE_SIZE - 1},
        {"state 6", 150, 6 << 3, HIT_OBJECT_IMAGE_SIZE},
        {"state 7", 150, 0xFF, HIT_OBJECT_IMAGE_SIZE},
        {"block 4096", 149, 0x10, HIT_OBJECT_IMAGE_SIZE},
    };
    for (const Bad& b : bad)
    {
        SCOPED_TRACE(b.name);
        std::vector<uint8_t> image = bytes;
        image[b.at] = b.value;
        const DK_VECTOR before = o.Position;
        const uint8_t uFlagsBefore = o.uFlags;
        BOOL boRead = TRUE;
        const std::string out =
            CaptureOutput([&] { boRead = HitObjects_ReadImage(&o, image.data(), b.size); });
        EXPECT_FALSE(boRead);
        EXPECT_NE(out.find("HitObjects_ReadImage()"), std::string::npos) << out;
        EXPECT_EQ(o.Position.z, before.z) << "unchanged";
        EXPECT_EQ(o.uFlags, uFlagsBefore);
    }
}

} // namespace
