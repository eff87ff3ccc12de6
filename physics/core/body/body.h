#pragma once
// Bodies: the simplest object type (id 0, "olpOBJTYPEBODY"), one rigid
// part on a shared body definition. While active the part holds a dynamics
// state; the write back moves the part's source matrix so that the
// definition's centre of mass lands where the simulation put it.

#include <cstdint>

#include "physics/core/body/bodydef.h"
#include "physics/core/context/context.h"
#include "physics/core/object/object.h"

struct OlpBody
{
    OlpObj base;  ///< one part, no joints, flags 11
    void* atomic; ///< the attached graphics object; null when none
};

/// The body type (activate, deactivate, box, write back); its maximum
/// active count is set by OlpBodyParamsReserve.
extern OlpObjType gOlpBodyType;

/// A new body on `def` (one reference taken; null allowed); null when
/// memory runs out.
OlpBody* OlpBodyCreate(OlpBodyDef* def);
/// Initialises a caller's record as OlpBodyCreate does; null when memory
/// runs out.
OlpBody* OlpBodyInit(OlpBody* body, OlpBodyDef* def);
/// A new body on the same definition with the same flags.
OlpBody* OlpBodyClone(const OlpBody* body);
/// Unregisters the body when still registered, releases the base and the
/// definition reference; 1.
int32_t OlpBodyDeinit(OlpBody* body);
/// OlpBodyDeinit, then frees a body of OlpBodyCreate; 1.
int32_t OlpBodyDestroy(OlpBody* body);
/// Replaces the definition (null allowed): part 0's volume follows it.
OlpBody* OlpBodySetDef(OlpBody* body, OlpBodyDef* def);
/// Puts the volume's box under part 0's source matrix into the manager's
/// far field (takes the body out when the volume has none).
OlpBody* OlpBodyUpdateBounds(OlpBody* body);
/// Reserves a body type with `maxRegistered` bodies of which `maxActive`
/// may be active at once: raises words 1, 2, 4, 5, 7 and 8, and sets the
/// body type's maximum active count.
OlpContextParams* OlpBodyParamsReserve(OlpContextParams* params, uint32_t maxRegistered, uint32_t maxActive);
/// Registers the body type with the context (type id 0); 1, or 0 when the
/// context has no room for it.
int32_t OlpBodyRegisterType(OlpContext* context);
