// Palette blocks and numbers, and the device-resource list with the release
// and restore of default-pool objects around device resets.

#include "graphics/d3d9/nativerasterlist.h"

#include <cstring>

#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/nativedevice.h"
#include "graphics/d3d9/pixelformat.h"
#include "platform/win32/win32.h"

namespace {

struct ListNode
{
    Raster* raster;
    ListNode* next;
};

struct NativeRasterState
{
    FreeList* nodes;
    ListNode* head;
    FreeList* palettes;
    // Stack of free palette numbers, and the next number never handed out.
    uint32_t count;
    uint32_t capacity;
    uint32_t nextNumber;
    uint16_t* numbers;
};

NativeRasterState gState{};

constexpr uint32_t kHint = 0x30411;
constexpr uint32_t kResizeHint = 0x1030411;

bool PushNumber(uint32_t number)
{
    if (gState.count == gState.capacity) {
        const uint32_t capacity = gState.capacity + 512;
        void* grown = MemoryReallocate(gState.numbers, capacity * sizeof(uint16_t), kResizeHint);
        if (!grown) {
            return false;
        }
        gState.numbers = static_cast<uint16_t*>(grown);
        gState.capacity = capacity;
    }
    gState.numbers[gState.count++] = uint16_t(number);
    return true;
}

/// A camera raster that presents into a window of its own gets a new swap
/// chain of that window's client size; the back buffer is held without a reference.
bool RestoreSwapChain(Raster* raster, D3D9RasterExtension* body)
{
    IDirect3DDevice9* device = D3D9NativeDeviceGet().device;
    const D3DPRESENT_PARAMETERS* present = D3D9GetPresentParameters();
    if (!device || !present) {
        return false;
    }
    D3DPRESENT_PARAMETERS params = *present;
    RECT client{};
    GetClientRect(body->window, &client);
    params.hDeviceWindow = body->window;
    params.BackBufferWidth = UINT(client.right - client.left > 0 ? client.right - client.left : 1);
    params.BackBufferHeight = UINT(client.bottom - client.top > 0 ? client.bottom - client.top : 1);
    params.EnableAutoDepthStencil = 0;
    IDirect3DSwapChain9* chain = nullptr;
    IDirect3DSurface9* backBuffer = nullptr;
    if (FAILED(device->CreateAdditionalSwapChain(&params, &chain))) {
        return false;
    }
    if (FAILED(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) {
        chain->Release();
        return false;
    }
    backBuffer->Release();
    body->swapChain = chain;
    body->object = backBuffer;
    body->format = params.BackBufferFormat;
    raster->width = int32_t(params.BackBufferWidth);
    raster->height = int32_t(params.BackBufferHeight);
    return true;
}

} // namespace

bool D3D9PaletteAcquire(D3D9RasterExtension* body)
{
    if (!gState.palettes) {
        gState.palettes = FreeListCreate(sizeof(D3D9PaletteBlock), 64, 4, 1, nullptr, kHint);
        if (!gState.palettes) {
            return false;
        }
    }
    auto* block = static_cast<D3D9PaletteBlock*>(FreeListAlloc(gState.palettes, kHint));
    if (!block) {
        return false;
    }
    std::memset(block, 0, sizeof(*block));
    block->number = gState.count ? gState.numbers[--gState.count] : gState.nextNumber++;
    body->palette = block;
    return true;
}

void D3D9PaletteRelease(D3D9RasterExtension* body)
{
    auto* block = static_cast<D3D9PaletteBlock*>(body->palette);
    body->palette = nullptr;
    // After device stop the blocks went with their free list: nothing to return.
    if (!block || !gState.palettes) {
        return;
    }
    PushNumber(block->number);
    FreeListFree(gState.palettes, block);
}

void D3D9PaletteSend(D3D9RasterExtension* body)
{
    auto* block = static_cast<D3D9PaletteBlock*>(body->palette);
    IDirect3DDevice9* device = D3D9NativeDeviceGet().device;
    if (block && device) {
        device->SetPaletteEntries(block->number, block->entries);
    }
}

bool D3D9RasterListCreate()
{
    if (!gState.nodes) {
        gState.nodes = FreeListCreate(sizeof(ListNode), 127, 4, 1, nullptr, kHint);
    }
    gState.head = nullptr;
    return gState.nodes != nullptr;
}

void D3D9RasterListDestroy()
{
    if (gState.nodes) {
        FreeListDestroy(gState.nodes);
    }
    if (gState.palettes) {
        FreeListDestroy(gState.palettes);
    }
    MemoryFree(gState.numbers);
    gState = NativeRasterState{};
}

void D3D9RasterListAdd(Raster* raster)
{
    if (!gState.nodes) {
        return;
    }
    auto* node = static_cast<ListNode*>(FreeListAlloc(gState.nodes, kHint));
    if (node) {
        node->raster = raster;
        node->next = gState.head;
        gState.head = node;
    }
}

void D3D9RasterListRemove(Raster* raster)
{
    for (ListNode** link = &gState.head; *link; link = &(*link)->next) {
        if ((*link)->raster == raster) {
            ListNode* node = *link;
            *link = node->next;
            FreeListFree(gState.nodes, node);
            return;
        }
    }
}

int32_t D3D9RasterListCount()
{
    int32_t count = 0;
    for (ListNode* node = gState.head; node; node = node->next) {
        ++count;
    }
    return count;
}

void D3D9RasterReleaseDefaultPool()
{
    for (ListNode* node = gState.head; node; node = node->next) {
        Raster* raster = node->raster;
        D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
        if (raster->parent != raster) {
            continue;
        }
        switch (raster->type) {
        case kRasterTypeNormal:
        case kRasterTypeTexture:
        case kRasterTypeCameraTexture:
            if ((raster->type == kRasterTypeCameraTexture || D3D9FormatIsDepth(body->format)) &&
                body->object) {
                body->object->Release();
                body->object = nullptr;
            }
            break;
        case kRasterTypeZBuffer:
            if (body->object && !(body->mipFlags & kZBufferUsesAutoSurface)) {
                body->object->Release();
            }
            body->object = nullptr;
            break;
        case kRasterTypeCamera:
            if (body->swapChain) {
                body->swapChain->Release();
                body->swapChain = nullptr;
                body->object = nullptr;
            }
            break;
        default:
            break;
        }
    }
}

bool D3D9RasterRestoreDefaultPool()
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    bool ok = true;
    for (ListNode* node = gState.head; node; node = node->next) {
        Raster* raster = node->raster;
        D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
        if (raster->parent != raster) {
            continue;
        }
        switch (raster->type) {
        case kRasterTypeNormal:
        case kRasterTypeTexture:
            if (body->palette) {
                D3D9PaletteSend(body);
            } else if (D3D9FormatIsDepth(body->format) && !body->object && device.device) {
                IDirect3DTexture9* texture = nullptr;
                ok &= SUCCEEDED(device.device->CreateTexture(UINT(raster->width), UINT(raster->height), 1,
                                                             D3DUSAGE_DEPTHSTENCIL, D3DFORMAT(body->format),
                                                             D3DPOOL_DEFAULT, &texture, nullptr));
                body->object = texture;
            }
            break;
        case kRasterTypeZBuffer:
            if (body->mipFlags & kZBufferUsesAutoSurface) {
                raster->width = int32_t(device.clientWidth);
                raster->height = int32_t(device.clientHeight);
            }
            if (!body->object && !(raster->flags & kRasterFlagNoPixels)) {
                ok &= D3D9ZBufferCreateObject(raster, body);
            }
            break;
        case kRasterTypeCamera:
            if (body->window) {
                ok &= RestoreSwapChain(raster, body);
            } else {
                if (device.modeWidth && uint32_t(raster->width) != device.clientWidth) {
                    raster->width = int32_t(uint32_t(raster->width) * device.clientWidth / device.modeWidth);
                }
                if (device.modeHeight && uint32_t(raster->height) != device.clientHeight) {
                    raster->height =
                        int32_t(uint32_t(raster->height) * device.clientHeight / device.modeHeight);
                }
                const D3D9FormatDescription described = D3D9FormatDescribe(device.backBufferFormat);
                raster->depth = described.depth;
                raster->format = uint8_t((raster->format & 0xF0) | (described.engineFormat >> 8));
                body->format = device.backBufferFormat;
                body->hasAlpha = described.hasAlpha;
            }
            break;
        case kRasterTypeCameraTexture:
            if (!body->object) {
                ok &= D3D9CameraTextureCreateObject(raster, body);
            }
            break;
        default:
            break;
        }
    }
    return ok;
}
