#include "engine/common/dk_actor.h"

#include <algorithm>
#include <iterator>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_model.h"
#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"

DK_ACTOR* gapActors[MAXACTORS];
uint32_t guNumActors = 0;
DK_ACTOR* gpHorizonActor = nullptr;

namespace
{

BOOL gboActorDestructorAdded = FALSE;

const DK_VECTOR kZeroVector = {0, 0, 0};
const int16_t kZeroAngles[3] = {0, 0, 0};
const uint8_t kDefaultColour[4] = {40, 40, 40, 255};

const DK_VECTOR& VectorOrZero(const DK_VECTOR* pVector)
{
    return pVector != nullptr ? *pVector : kZeroVector;
}

const int16_t* AnglesOrZero(const int16_t* pAngles)
{
    return pAngles != nullptr ? pAngles : kZeroAngles;
}

// Types 0 to 3 have matrices the setters move; lights and cameras also keep the position and
// angles they were given.
bool IsPlaced(const DK_ACTOR* pActor)
{
    return pActor->uType <= DK_ACTOR_DUMMY;
}

bool KeepsPlacement(const DK_ACTOR* pActor)
{
    return pActor->uType == DK_ACTOR_LIGHT || pActor->uType == DK_ACTOR_CAMERA;
}

DK_MODEL* ModelOf(const DK_ACTOR* pActor)
{
    return pActor->uType == DK_ACTOR_MODEL ? static_cast<DK_MODEL*>(pActor->pObject) : nullptr;
}

DK_VECTOR Row(const DK_MATRIX& m, int nRow)
{
    DK_VECTOR v;
    FfMatGetRow(&v, &m, nRow);
    return v;
}

DK_VECTOR Sum(const DK_VECTOR& a, const DK_VECTOR& b)
{
    return {FfAdd(a.x, b.x), FfAdd(a.y, b.y), FfAdd(a.z, b.z)};
}

void AddToTranslation(DK_MATRIX& m, const DK_VECTOR& delta)
{
    const DK_VECTOR moved = Sum(Row(m, 3), delta);
    FfMatSetPosition(&moved, &m);
}

void AddAngles(int16_t* anAngles, const int16_t* anDelta)
{
    for (int i = 0; i < 3; ++i)
        anAngles[i] = static_cast<int16_t>(anAngles[i] + anDelta[i]);
}

// v·R for the turn about a unit axis, then re-normalised.
DK_VECTOR TurnRow(const DK_VECTOR& v, const DK_VECTOR& axis, int32_t nAngle)
{
    DK_MATRIX turn;
    DkAxisAngleToMatrix(&turn, &axis, nAngle);
    DK_VECTOR out;
    DkTransformPointTransposed(&out, &v, &turn);
    FfVecNormalise(&out, &out);
    return out;
}

// Every setter ends so: the local matrix rules again, and the change reaches the children.
void Placed(DK_ACTOR* pActor)
{
    pActor->nInherit = 0;
    DkMarkActorDirty(pActor);
}

void SetIdentityAxes(DK_MATRIX& m)
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m.m[r][c] = r == c ? DK_FIXED_ONE : 0;
}

// Takes the actor out of its parent's child list; false when the list does not hold it.
bool UnlinkFromParent(DK_ACTOR* pActor)
{
    DK_ACTOR* pParent = pActor->pParent;
    if (pParent == nullptr)
        return true;
    if (pParent->pChild == pActor)
    {
        pParent->pChild = pActor->pNext;
        return true;
    }
    for (DK_ACTOR* p = pParent->pChild; p != nullptr; p = p->pNext)
        if (p->pNext == pActor)
        {
            p->pNext = pActor->pNext;
            return true;
        }
    return false;
}

int DestroyWith(DK_ACTOR* pActor, BOOL boDeleteObjects, const char* pszNotFound)
{
    if (pActor == nullptr)
        return 0;
    if (!UnlinkFromParent(pActor))
    {
        DKREPORT(pszNotFound);
        return 0;
    }
    // Only the actor and its descendants go, not the peers after it.
    pActor->pNext = nullptr;
    DkFreeActorSubtree(pActor, boDeleteObjects);
    return 1;
}

void ReleaseObject(DK_ACTOR* pActor)
{
    switch (pActor->uType)
    {
        case DK_ACTOR_MODEL:
            DkDeleteModel(static_cast<DK_MODEL*>(pActor->pObject));
            break;
        case DK_ACTOR_LIGHT:
            DkDeleteLight(static_cast<DK_LIGHT*>(pActor->pObject));
            break;
        case DK_ACTOR_CAMERA:
            DkRemoveCamera(static_cast<DK_CAMERA*>(pActor->pObject));
            break;
        default:
            break;
    }
}

void FreeSlot(DK_ACTOR* pActor)
{
    uint32_t uPassed = 0;
    for (int i = 0; i < MAXACTORS && uPassed < guNumActors; ++i)
    {
        if (gapActors[i] == nullptr)
            continue;
        if (gapActors[i] != pActor)
        {
            ++uPassed;
            continue;
        }
        gapActors[i] = nullptr;
        if (guNumActors == 0 || guNumActors > MAXACTORS)
            DKREPORT("guNumActors has clocked round!");
        if (guNumActors != 0)
            --guNumActors;
        break;
    }
    // The 3D context must not keep a root that is gone.
    if (pActor == DkGetWorldActor())
        DkSetWorldActor(nullptr);
}

bool InVisibleSet(const DK_ACTOR* pActor)
{
    return pActor->nBlock < 0 || DkIsTrackBlockInVisibleSet(pActor->nBlock);
}

bool NeedsUpdate(const DK_ACTOR* pActor)
{
    return pActor->pParent != nullptr && pActor->uType <= DK_ACTOR_DUMMY &&
           (pActor->uDirty || pActor->pParent->uDirty);
}

// The world matrix of one actor that has a parent.
void UpdateWorld(DK_ACTOR* pActor)
{
    const DK_ACTOR* pParent = pActor->pParent;
    if (pParent->uId == DK_WORLD_ACTOR_ID)
        pActor->World = pActor->Local;
    else if (pActor->nInherit)
        pActor->World = pParent->World;
    else
        DkMultiplyMatrix(&pActor->World, &pActor->Local, &pParent->World);
    // The sky never turns, whatever its matrices hold.
    if (pActor == gpHorizonActor)
        SetIdentityAxes(pActor->World);
    if (pActor->nBlock != -1 && pActor->uId != DK_WORLD_ACTOR_ID)
        DkUpdateActorTrackBlock(pActor);
    DkMarkActorDirty(pActor);
}

void SyncDevice(DK_ACTOR* pActor)
{
    if (!pActor->uDirty)
        return;
    switch (pActor->uType)
    {
        case DK_ACTOR_MODEL:
        case DK_ACTOR_DUMMY:
            for (int i = 0; i < 16; ++i)
                pActor->afDevice[i] = static_cast<float>(pActor->World.m[i / 4][i % 4] / 65536.0);
            pActor->uDirty = 0;
            break;
        case DK_ACTOR_LIGHT:
            DkSyncLightD3D(pActor);
            pActor->uDirty = 0;
            break;
        default:
            // A camera stays dirty: its view and its children are rebuilt every frame.
            break;
    }
}

DK_ACTOR* CloneOne(const DK_ACTOR* pSource, DK_ACTOR* pParent)
{
    DK_ACTOR* pCopy = DkCreateActor(pParent);
    if (pCopy == nullptr)
        return nullptr;
    const DK_MODEL* pSourceModel = ModelOf(pSource);
    DK_MODEL* pModel = pSourceModel != nullptr ? DkCopyModel(pSourceModel) : nullptr;
    *pCopy = *pSource;
    pCopy->pParent = pParent;
    pCopy->pNext = nullptr;
    pCopy->pChild = nullptr;
    // It is on no block list yet.
    pCopy->pBlockLink = nullptr;
    pCopy->pObject = pModel;
    if (pModel == nullptr)
        pCopy->uType = DK_ACTOR_DUMMY;
    DkCloneActorChildren(pSource->pChild, pCopy);
    return pCopy;
}

} // namespace

DK_ACTOR* DkCreateActor(DK_ACTOR* pParent)
{
    if (!gboActorDestructorAdded)
        gboActorDestructorAdded = DkAddDestructor(DestroyAllActors, "Actor Destructor") >= 0;

    auto* pFree = std::find(std::begin(gapActors), std::end(gapActors), nullptr);
    if (pFree == std::end(gapActors))
    {
        DKREPORT("ERROR (DkCreateActor): No space for the new actor!");
        return nullptr;
    }
    auto* pActor = static_cast<DK_ACTOR*>(DkHeapAlloc(sizeof(DK_ACTOR)));
    if (pActor == nullptr)
    {
        DKREPORT("DkCreateActor(): Unable to allocate the memory");
        return nullptr;
    }
    DkInitActorRecord(pActor);
    DkLinkActorToParent(pActor, pParent);
    *pFree = pActor;
    ++guNumActors;
    return pActor;
}

void DkInitActorRecord(DK_ACTOR* pActor)
{
    if (pActor == nullptr)
        return;
    pActor->pNext = nullptr;
    pActor->pChild = nullptr;
    pActor->pParent = nullptr;
    pActor->pObject = nullptr;
    pActor->uType = DK_ACTOR_DUMMY;
    pActor->uPassMask = 0xFF;
    DkMarkActorDirty(pActor);
    pActor->nInherit = 0;
    std::copy(std::begin(kDefaultColour), std::end(kDefaultColour), pActor->auColour);
    pActor->nBlock = -1;
    std::fill(std::begin(pActor->anNeighbourBlocks), std::end(pActor->anNeighbourBlocks), -1);
    pActor->pBlockLink = nullptr;
    pActor->Position = kZeroVector;
    std::fill(std::begin(pActor->anAngles), std::end(pActor->anAngles), 0);
    pActor->Scale = {DK_FIXED_ONE, DK_FIXED_ONE, DK_FIXED_ONE};
    DkIdentityMatrix(&pActor->Base);
    DkIdentityMatrix(&pActor->Local);
    DkIdentityMatrix(&pActor->World);
}

void DkLinkActorToParent(DK_ACTOR* pActor, DK_ACTOR* pParent)
{
    if (pActor == nullptr)
        return;
    pActor->pNext = nullptr;
    pActor->pParent = pParent;
    if (pParent == nullptr)
    {
        DkIdentityMatrix(&pActor->World);
        DkIdentityMatrix(&pActor->Local);
        return;
    }
    DK_ACTOR** ppLink = &pParent->pChild;
    while (*ppLink != nullptr)
        ppLink = &(*ppLink)->pNext;
    *ppLink = pActor;
}

DK_ACTOR* DkCreateWorldActor(void)
{
    DK_ACTOR* pWorld = DkCreateActor(nullptr);
    if (pWorld != nullptr)
    {
        DkSetWorldActor(pWorld);
        pWorld->uId = DK_WORLD_ACTOR_ID;
    }
    return pWorld;
}

void DkSetActorObject(DK_ACTOR* pActor, uint32_t uType, void* pObject)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR (DkSetActorObject): Actor is NULL!");
        return;
    }
    pActor->uType = uType;
    pActor->pObject = pObject;
}

int DkDestroyActor(DK_ACTOR* pActor)
{
    return DestroyWith(pActor, FALSE, "ERROR!! End of Peer List");
}

int DkDeleteObject(DK_ACTOR* pActor)
{
    return DestroyWith(pActor, TRUE, "ERROR : End of Peer List");
}

void DkFreeActorSubtree(DK_ACTOR* pFirst, BOOL boDeleteObjects)
{
    for (DK_ACTOR* pActor = pFirst; pActor != nullptr; pActor = pActor->pNext)
    {
        if (pActor->pChild != nullptr)
            DkFreeActorSubtree(pActor->pChild, boDeleteObjects);
        if (boDeleteObjects && pActor->pObject != nullptr)
            ReleaseObject(pActor);
        // The record itself stays on the heap until the heap is reset.
        FreeSlot(pActor);
    }
}

BOOL DestroyAllActors(void)
{
    DkDestroyActor(DkGetWorldActor());
    if (guNumActors != 0)
    {
        DKREPORT(DkFormatString("DestroyAllActors() : %d actor(s) is/are still alive",
                                static_cast<int>(guNumActors)));
        for (int i = 0; i < MAXACTORS; ++i)
            if (gapActors[i] != nullptr)
                DKREPORT(DkFormatString("DestroyAllActors() : actor %d is alive", i));
    }
    gboActorDestructorAdded = FALSE;
    return TRUE;
}

BOOL DkKillAllObjects(void)
{
    DkLog("Killing off actors");
    for (DK_ACTOR*& pActor : gapActors)
        if (pActor != nullptr)
            DkDestroyActor(pActor);
    // An actor its parent's list had lost could not be unlinked; the table empties regardless.
    std::fill(std::begin(gapActors), std::end(gapActors), nullptr);
    guNumActors = 0;
    DkSetWorldActor(nullptr);

    DkLog("Killing off cameras");
    DkRemoveAllCameras();
    DkLog("Killing off lights");
    DkDeleteAllLights();

    DkLog("Killing off models");
    for (DK_MODEL* pModel : gapModels)
        if (pModel != nullptr)
            DkDeleteModel(pModel);
    guNumModels = 0;

    DkLog("Killing off fixed models");
    for (DK_FIXED_MODEL* pFixed : gapFixedModels)
        if (pFixed != nullptr)
            DkDeleteFixedModel(pFixed);
    guNumFixedModels = 0;

    DkLog("Killing off execute buffers, though why is completely beyond me");
    DkReleaseExecuteBuffers();
    DkClearTrackBlocks();
    return TRUE;
}

void DkSetActor(DK_ACTOR* pActor, const DK_VECTOR* pPosition, const int16_t* pAngles)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR( DkSetActor): Actor is NULL");
        return;
    }
    const DK_VECTOR& position = VectorOrZero(pPosition);
    const int16_t* anAngles = AnglesOrZero(pAngles);
    if (KeepsPlacement(pActor))
    {
        pActor->Position = position;
        std::copy(anAngles, anAngles + 3, pActor->anAngles);
    }
    if (IsPlaced(pActor))
    {
        pActor->Local = pActor->Base;
        DkMoveActor2(pActor, &position, anAngles);
    }
    Placed(pActor);
}

void DkSetActorPosition(DK_ACTOR* pActor, const DK_VECTOR* pPosition)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR( DkSetActorPosition): Actor is NULL");
        return;
    }
    const DK_VECTOR& position = VectorOrZero(pPosition);
    if (KeepsPlacement(pActor))
        pActor->Position = position;
    if (IsPlaced(pActor))
        FfMatSetPosition(&position, &pActor->Local);
    Placed(pActor);
}

void DkSetActorRotation(DK_ACTOR* pActor, const int16_t* pAngles)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR( DkSetActorRotation): Actor is NULL");
        return;
    }
    const int16_t* anAngles = AnglesOrZero(pAngles);
    if (KeepsPlacement(pActor))
        std::copy(anAngles, anAngles + 3, pActor->anAngles);
    if (IsPlaced(pActor))
    {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                pActor->Local.m[r][c] = pActor->Base.m[r][c];
        DkMoveActor2(pActor, &kZeroVector, anAngles);
    }
    Placed(pActor);
}

void DkMoveActor(DK_ACTOR* pActor, const DK_VECTOR* pDelta, const int16_t* pDeltaAngles)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR( DkMoveActor): Actor is NULL");
        return;
    }
    const DK_VECTOR& delta = VectorOrZero(pDelta);
    const int16_t* anDelta = AnglesOrZero(pDeltaAngles);
    if (KeepsPlacement(pActor))
    {
        pActor->Position = Sum(pActor->Position, delta);
        AddAngles(pActor->anAngles, anDelta);
    }
    if (IsPlaced(pActor))
        DkMoveActor2(pActor, &delta, anDelta);
    Placed(pActor);
}

void DkMoveActorPosition(DK_ACTOR* pActor, const DK_VECTOR* pDelta)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR( DkMoveActorPosition): Actor is NULL");
        return;
    }
    const DK_VECTOR& delta = VectorOrZero(pDelta);
    if (KeepsPlacement(pActor))
        pActor->Position = Sum(pActor->Position, delta);
    if (IsPlaced(pActor))
        AddToTranslation(pActor->Local, delta);
    Placed(pActor);
}

void DkMoveActorRotation(DK_ACTOR* pActor, const int16_t* pDeltaAngles)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR( DkMoveActorRotation): Actor is NULL");
        return;
    }
    const int16_t* anDelta = AnglesOrZero(pDeltaAngles);
    if (KeepsPlacement(pActor))
        AddAngles(pActor->anAngles, anDelta);
    if (IsPlaced(pActor))
        DkMoveActor2(pActor, &kZeroVector, anDelta);
    Placed(pActor);
}

void DkMoveActorForward(DK_ACTOR* pActor, int32_t xDistance)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR(DkMoveActorForward): Actor is NULL");
        return;
    }
    DK_VECTOR step = Row(pActor->Local, 2);
    FfVecScale(&step, &step, xDistance);
    AddToTranslation(pActor->Local, step);
    Placed(pActor);
}

void DkMoveActorSideways(DK_ACTOR* pActor, int32_t xDistance)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR(DkMoveActorSideways): Actor is NULL");
        return;
    }
    DK_VECTOR step = Row(pActor->Local, 0);
    FfVecScale(&step, &step, xDistance);
    AddToTranslation(pActor->Local, step);
    Placed(pActor);
}

void DkMoveActor2(DK_ACTOR* pActor, const DK_VECTOR* pDelta, const int16_t* pAngles)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR( DkMoveActor2): Actor is NULL");
        return;
    }
    const int16_t* anAngles = AnglesOrZero(pAngles);
    DK_MATRIX& local = pActor->Local;
    DK_VECTOR x = Row(local, 0), y = Row(local, 1), z = Row(local, 2);
    // Each turn is about the actor's own axis as the turns before it left it.
    if (anAngles[1] != 0)
    {
        x = TurnRow(x, y, anAngles[1]);
        z = TurnRow(z, y, anAngles[1]);
    }
    if (anAngles[2] != 0)
    {
        x = TurnRow(x, z, anAngles[2]);
        y = TurnRow(y, z, anAngles[2]);
    }
    if (anAngles[0] != 0)
    {
        y = TurnRow(y, x, anAngles[0]);
        z = TurnRow(z, x, anAngles[0]);
    }
    FfMatSetRow0(&x, &local);
    FfMatSetRow1(&y, &local);
    FfMatSetRow2(&z, &local);
    AddToTranslation(local, VectorOrZero(pDelta));
    DkMarkActorDirty(pActor);
}

DK_MATRIX* DkAxisAngleToMatrix(DK_MATRIX* pOut, const DK_VECTOR* pAxis, int32_t nAngle)
{
    const uint32_t uAngle = static_cast<uint32_t>(nAngle);
    const int32_t c = gaSinTable[(DK_QUARTER_TURN - uAngle) & DK_ANGLE_MASK];
    // The sine negated, read at the negated angle.
    const int32_t n = gaSinTable[(0u - uAngle) & DK_ANGLE_MASK];
    const int32_t t = FfSub(DK_FIXED_ONE, c);
    const int32_t x = pAxis->x, y = pAxis->y, z = pAxis->z;
    const int32_t xx = FfMul(x, x), yy = FfMul(y, y), zz = FfMul(z, z);
    const int32_t xy = FfMul(FfMul(x, y), t);
    const int32_t xz = FfMul(FfMul(x, z), t);
    const int32_t yz = FfMul(FfMul(z, y), t);
    auto& m = pOut->m;
    m[0][0] = FfAdd(xx, FfMul(c, FfSub(DK_FIXED_ONE, xx)));
    m[0][1] = FfSub(xy, FfMul(z, n));
    m[0][2] = FfAdd(xz, FfMul(y, n));
    m[1][0] = FfAdd(xy, FfMul(z, n));
    m[1][1] = FfAdd(yy, FfMul(c, FfSub(DK_FIXED_ONE, yy)));
    m[1][2] = FfSub(yz, FfMul(x, n));
    m[2][0] = FfSub(xz, FfMul(y, n));
    m[2][1] = FfAdd(yz, FfMul(x, n));
    m[2][2] = FfAdd(zz, FfMul(c, FfSub(DK_FIXED_ONE, zz)));
    m[0][3] = m[1][3] = m[2][3] = 0;
    m[3][0] = m[3][1] = m[3][2] = 0;
    m[3][3] = DK_FIXED_ONE;
    return pOut;
}

int dkChangeActorParent(DK_ACTOR* pActor, DK_ACTOR* pNewParent)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR (dkChangeActorParent): Actor is NULL");
        return 0;
    }
    if (pNewParent == pActor->pParent)
        return 0;
    // A parent inside the actor's own subtree would close a loop the update never leaves.
    for (const DK_ACTOR* p = pNewParent; p != nullptr; p = p->pParent)
        if (p == pActor)
        {
            DKREPORT("ERROR (dkChangeActorParent): The new parent is the actor or one of its "
                     "descendants");
            return 0;
        }
    if (!UnlinkFromParent(pActor))
    {
        DKREPORT("ERROR (dkChangeActorParent): Reached end of Peer List");
        return 0;
    }
    pActor->pParent = pNewParent;
    pActor->pNext = pNewParent != nullptr ? pNewParent->pChild : nullptr;
    if (pNewParent != nullptr)
        pNewParent->pChild = pActor;
    DkMarkActorDirty(pActor);
    return 1;
}

DK_ACTOR* DkFindActorById(DK_ACTOR* pFirst, uint32_t uId)
{
    for (DK_ACTOR* pActor = pFirst; pActor != nullptr; pActor = pActor->pNext)
    {
        if ((pActor->uId & DK_ACTOR_ID_MASK) == uId)
            return pActor;
        if (DK_ACTOR* pFound = DkFindActorById(pActor->pChild, uId))
            return pFound;
    }
    return nullptr;
}

DK_ACTOR* DkMarkActorDirty(DK_ACTOR* pActor)
{
    DK_ACTOR* pRoot = pActor;
    for (; pActor != nullptr; pActor = pActor->pParent)
    {
        pActor->uDirty = 1;
        pRoot = pActor;
    }
    return pRoot;
}

DK_ACTOR* DkDuplicateActor(DK_ACTOR* pActor, int nBlock)
{
    if (pActor == nullptr)
    {
        DKREPORT("Pointer to actor passsed is NULL!");
        return nullptr;
    }
    if (pActor->uType != DK_ACTOR_MODEL)
    {
        DKREPORT("Actor is NOT of type MODEL!");
        return nullptr;
    }
    DK_ACTOR* pCopy = DkCreateActor(nullptr);
    if (pCopy == nullptr)
        return nullptr;
    const DK_MODEL* pSourceModel = ModelOf(pActor);
    DK_MODEL* pModel = nullptr;
    if (pSourceModel != nullptr && (pModel = DkCopyModel(pSourceModel)) == nullptr)
    {
        DkDestroyActor(pCopy);
        return nullptr;
    }
    *pCopy = *pActor;
    pCopy->Local = pActor->World;
    pCopy->pObject = pModel;
    pCopy->pChild = nullptr;
    DK_ACTOR* pWorld = DkGetWorldActor();
    pCopy->pParent = pWorld;
    pCopy->pNext = pWorld != nullptr ? pWorld->pChild : nullptr;
    if (pWorld != nullptr)
        pWorld->pChild = pCopy;

    pCopy->pBlockLink = nullptr;
    pCopy->nBlock = -1;
    if (nBlock == -1)
        DKREPORT("ERROR (DkDuplicateActor): Track Index is -1");
    else if (!DkAppendActorToTrackBlock(pCopy, nBlock))
        DKREPORT(
            DkFormatString("ERROR (DkDuplicateActor): Track Index %d is off the track", nBlock));
    return pCopy;
}

DK_ACTOR* DkCloneActorTree(DK_ACTOR* pActor)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR (DkCloneActorTree): Actor is NULL!");
        return nullptr;
    }
    return CloneOne(pActor, pActor->pParent);
}

void DkCloneActorChildren(DK_ACTOR* pFirstChild, DK_ACTOR* pNewParent)
{
    for (const DK_ACTOR* pChild = pFirstChild; pChild != nullptr; pChild = pChild->pNext)
        if (CloneOne(pChild, pNewParent) == nullptr)
            return;
}

void DkSetActorDetail(DK_ACTOR* pActor, int nLevel)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR(DkSetActorDetail): Actor is NULL!");
        return;
    }
    DK_MODEL* pModel = ModelOf(pActor);
    if (pModel == nullptr)
    {
        DKREPORT("ERROR (DkSetActorDetail): The Actor is a DUMMY!");
        return;
    }
    const int nLevels = std::min<int>(pModel->uNumLevels, DK_MODEL_LEVELS);
    if (nLevel >= nLevels)
    {
        DKREPORT(DkFormatString(
            "ERROR (DkSetActorDetail): The Detail value (%d)is greater than MAX(%d)!", nLevel,
            nLevels));
        return;
    }
    if (nLevel < 0)
    {
        DKREPORT("ERROR (DkSetActorDetail): The Detail level is less than 0!");
        return;
    }
    pModel->uCurrentLevel = static_cast<uint8_t>(nLevel);
}

int DKActorGetMaxDetail(DK_ACTOR* pActor)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR (DKActorGetMaxDetail): Actor is NULL!");
        return -1;
    }
    const DK_MODEL* pModel = ModelOf(pActor);
    return pModel != nullptr ? pModel->uNumLevels : -1;
}

int DkActorGetDetail(DK_ACTOR* pActor)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR (DkActorGetDetail): Actor is NULL!");
        return -1;
    }
    const DK_MODEL* pModel = ModelOf(pActor);
    if (pModel == nullptr)
    {
        DKREPORT("ERROR (DkActorGetDetail): Actor doesn't have a MODEL!");
        return -1;
    }
    return pModel->uCurrentLevel;
}

void DkUpdateActorTree(DK_ACTOR* pFirst)
{
    for (DK_ACTOR* pActor = pFirst; pActor != nullptr; pActor = pActor->pNext)
    {
        if (!InVisibleSet(pActor))
            continue;
        // A pass mask of 0 freezes the actor and everything below it.
        if (pActor->uPassMask == 0)
            continue;
        if (NeedsUpdate(pActor))
            UpdateWorld(pActor);
        if (pActor->pChild != nullptr)
            DkUpdateActorTree(pActor->pChild);
    }
}

void DkSyncActorTreeD3D(DK_ACTOR* pFirst)
{
    for (DK_ACTOR* pActor = pFirst; pActor != nullptr; pActor = pActor->pNext)
    {
        if (!InVisibleSet(pActor))
            continue;
        SyncDevice(pActor);
        if (pActor->pChild != nullptr)
            DkSyncActorTreeD3D(pActor->pChild);
    }
}

int DkUpdateActorMatrix(DK_ACTOR* pActor)
{
    if (pActor != nullptr && NeedsUpdate(pActor))
        UpdateWorld(pActor);
    return 1;
}

void DkUpdateActorAncestors(DK_ACTOR* pActor)
{
    if (pActor == nullptr || pActor->uId == DK_WORLD_ACTOR_ID)
        return;
    DkUpdateActorAncestors(pActor->pParent);
    DkUpdateActorMatrix(pActor);
}

BOOL DkIsActorBlockVisible(const DK_ACTOR* pActor)
{
    if (pActor == nullptr)
        return FALSE;
    return pActor->nBlock < 0 || DkIsTrackBlockVisible(pActor->nBlock) ? TRUE : FALSE;
}

void DkUpdateActorList(DK_ACTOR* pFirst)
{
    for (DK_ACTOR* pActor = pFirst; pActor != nullptr; pActor = pActor->pNext)
        if (DkIsActorBlockVisible(pActor) && pActor->uPassMask != 0 && NeedsUpdate(pActor))
            UpdateWorld(pActor);
}

void DkSyncActorListD3D(DK_ACTOR* pFirst)
{
    for (DK_ACTOR* pActor = pFirst; pActor != nullptr; pActor = pActor->pNext)
        if (DkIsActorBlockVisible(pActor))
            SyncDevice(pActor);
}
