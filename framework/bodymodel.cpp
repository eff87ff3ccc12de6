#include "framework/bodymodel.h"

#include "framework/sceneobject.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "physics/core/body/bodyatomic.h"

bool AttachBodyToModel(CSceneObject* object, OlpBody* body, float scale)
{
    Atomic* atomic = object->GetFirstAtomic();
    Frame* parent = object->GetFrame();
    if (!atomic || !parent)
        return false;
    Frame* frame = FrameCreate();
    if (!frame)
        return false;
    // The clump was loaded for this object alone: its geometry is not shared.
    if (atomic->geometry) {
        const float factor = scale * CSceneObject::kScaleUnit;
        const V3d factors{factor, factor, factor};
        Matrix matrix{};
        MatrixScale(&matrix, &factors, kCombineReplace);
        GeometryTransform(atomic->geometry, &matrix);
    }
    // A child of the clump's frame goes with the clump when it is destroyed.
    FrameAddChild(parent, frame);
    AtomicSetFrame(atomic, frame);
    OlpBodyAttach(atomic, body);
    object->SetPhysicsObject(body);
    return true;
}
