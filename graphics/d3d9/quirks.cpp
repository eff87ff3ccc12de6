// Caps corrections by vendor and device id.

#include "graphics/d3d9/quirks.h"

namespace {

struct AdapterQuirk
{
    DWORD vendor;
    DWORD device;
    DWORD clearDevCaps2; ///< DevCaps2 bits the adapter reports but mishandles
};

// Stream offsets are reported but break rendering on this adapter.
constexpr AdapterQuirk kQuirks[] = {
    {0x1002, 0x5157, D3DDEVCAPS2_STREAMOFFSET},
};

} // namespace

bool D3D9ApplyAdapterQuirks(D3DCAPS9* caps, const D3DADAPTER_IDENTIFIER9* identifier)
{
    bool applied = false;
    for (const AdapterQuirk& quirk : kQuirks) {
        if (identifier->VendorId == quirk.vendor && identifier->DeviceId == quirk.device) {
            caps->DevCaps2 &= ~quirk.clearDevCaps2;
            applied = true;
        }
    }
    return applied;
}
