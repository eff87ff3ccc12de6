// Adapter modes and the choices made from them: the video-mode table, the
// multisampling query, the refresh-rate cap and the presentation parameters
// (back-buffer, depth-stencil and multisample formats).

#include <cassert>
#include <cstring>

#include "graphics/core/memory.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/driverstate.h"
#include "graphics/d3d9/presentparams.h"

namespace {

constexpr uint32_t kModeTableHint = 0x1040411;
constexpr D3DFORMAT kEnumeratedFormats[] = {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, D3DFMT_A2R10G10B10};

bool IsTableFormat(D3DFORMAT format)
{
    return (format >= D3DFMT_A8R8G8B8 && format <= D3DFMT_A1R5G5B5) || format == D3DFMT_A2R10G10B10;
}

bool DepthFormatAccepted(D3D9DriverState& s, D3DFORMAT adapterFormat, D3DFORMAT backBuffer, D3DFORMAT depth)
{
    return SUCCEEDED(s.d3d->CheckDeviceFormat(s.adapter, s.deviceType, adapterFormat, D3DUSAGE_DEPTHSTENCIL,
                                              D3DRTYPE_SURFACE, depth)) &&
           SUCCEEDED(
               s.d3d->CheckDepthStencilMatch(s.adapter, s.deviceType, adapterFormat, backBuffer, depth));
}

} // namespace

uint32_t D3D9FormatColourDepth(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A2R10G10B10:
        return 32;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        return 16;
    default:
        return 0;
    }
}

uint32_t D3D9CountAdapterModes()
{
    D3D9DriverState& s = D3D9State();
    uint32_t total = 0;
    for (D3DFORMAT format : kEnumeratedFormats) {
        total += s.d3d->GetAdapterModeCount(s.adapter, format);
    }
    return total;
}

void D3D9QueryMultiSampling()
{
    D3D9DriverState& s = D3D9State();
    s.maxMultiSamples = s.requestedMultiSamples = s.nonMaskableCount = s.nonMaskableQuality = 1;
    const BOOL windowed = (s.mode.flags & 1) == 0;
    for (uint32_t type = 2; type <= 16; ++type) {
        if (SUCCEEDED(s.d3d->CheckDeviceMultiSampleType(s.adapter, s.deviceType, s.mode.format, windowed,
                                                        D3DMULTISAMPLE_TYPE(type), nullptr))) {
            s.maxMultiSamples = type;
        }
    }
    DWORD quality = 0;
    if (SUCCEEDED(s.d3d->CheckDeviceMultiSampleType(s.adapter, s.deviceType, s.mode.format, windowed,
                                                    D3DMULTISAMPLE_NONMASKABLE, &quality))) {
        s.nonMaskableCount = quality + 1;
        if (quality + 1 > s.maxMultiSamples) {
            s.maxMultiSamples = quality + 1;
        }
    }
}

bool D3D9BuildModeTable()
{
    D3D9DriverState& s = D3D9State();
    const uint32_t capacity = s.totalModeCount + 1;
    auto* table = static_cast<D3D9VideoModeEntry*>(
        MemoryReallocate(s.modes, capacity * sizeof(D3D9VideoModeEntry), kModeTableHint));
    if (!table) {
        return false;
    }
    s.modes = table;
    D3DDISPLAYMODE desktop{};
    s.d3d->GetAdapterDisplayMode(s.adapter, &desktop);
    table[0] = {desktop.Width, desktop.Height, desktop.RefreshRate, desktop.Format, 0};
    // A desktop in an unlisted format gets no entry: the first mode overwrites it.
    uint32_t count = IsTableFormat(desktop.Format) ? 1 : 0;
    // Entry 0 is merged with nothing when it is the desktop; otherwise it is
    // an enumerated mode like the others.
    const uint32_t firstMergeable = count;
    for (D3DFORMAT format : kEnumeratedFormats) {
        const uint32_t modes = s.d3d->GetAdapterModeCount(s.adapter, format);
        for (uint32_t i = 0; i < modes && count < capacity; ++i) {
            D3DDISPLAYMODE mode{};
            if (FAILED(s.d3d->EnumAdapterModes(s.adapter, format, i, &mode))) {
                continue;
            }
            D3D9VideoModeEntry& entry = table[count];
            entry = {mode.Width, mode.Height, mode.RefreshRate, mode.Format, 1};
            bool merged = false;
            for (uint32_t j = firstMergeable; j < count; ++j) {
                if (table[j].width == entry.width && table[j].height == entry.height &&
                    table[j].format == entry.format) {
                    if (entry.refreshRate > table[j].refreshRate) {
                        table[j].refreshRate = entry.refreshRate;
                    }
                    merged = true;
                    break;
                }
            }
            if (!merged) {
                ++count;
            }
        }
    }
    if (count < capacity && count > 0) {
        if (auto* shrunk = static_cast<D3D9VideoModeEntry*>(
                MemoryReallocate(s.modes, count * sizeof(D3D9VideoModeEntry), kModeTableHint))) {
            s.modes = shrunk;
        }
    }
    s.modeCount = int32_t(count);
    return true;
}

void D3D9FreeModeTable()
{
    D3D9DriverState& s = D3D9State();
    MemoryFree(s.modes);
    s.modes = nullptr;
    s.modeCount = 0;
}

bool D3D9EnsureModeTable()
{
    return D3D9State().modes || D3D9BuildModeTable();
}

void D3D9BuildPresentParameters(D3DPRESENT_PARAMETERS* p, const D3D9CurrentMode& mode,
                                D3DFORMAT desktopFormat)
{
    D3D9DriverState& s = D3D9State();
    D3DFORMAT adapterFormat;
    p->BackBufferCount = 1;
    p->PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    if (mode.flags & 1) {
        p->Windowed = 0;
        p->BackBufferWidth = mode.width;
        p->BackBufferHeight = mode.height;
        p->FullScreen_RefreshRateInHz = mode.refreshRate < s.refreshCap ? mode.refreshRate : s.refreshCap;
        p->SwapEffect = D3DSWAPEFFECT_FLIP;
        adapterFormat = mode.format;
    } else {
        p->Windowed = 1;
        p->FullScreen_RefreshRateInHz = 0;
        p->SwapEffect = D3DSWAPEFFECT_COPY;
        RECT rect{};
        GetWindowRect(s.window, &rect);
        const bool empty = rect.right == rect.left || rect.bottom == rect.top;
        p->BackBufferWidth = p->BackBufferHeight = empty ? 1 : 0;
        adapterFormat = desktopFormat;
    }
    if (s.dialogBoxMode) {
        p->SwapEffect = D3DSWAPEFFECT_DISCARD;
        p->BackBufferFormat = adapterFormat;
    } else if (adapterFormat == D3DFMT_X8R8G8B8) {
        p->BackBufferFormat = SUCCEEDED(s.d3d->CheckDeviceType(s.adapter, s.deviceType, D3DFMT_X8R8G8B8,
                                                               D3DFMT_A8R8G8B8, p->Windowed))
                                  ? D3DFMT_A8R8G8B8
                                  : D3DFMT_X8R8G8B8;
    } else {
        p->BackBufferFormat = adapterFormat;
    }
    p->EnableAutoDepthStencil = 1;
    s.backBufferDepth = D3D9FormatColourDepth(p->BackBufferFormat);

    if (s.backBufferDepth == 32) {
        constexpr D3DFORMAT kDepth32[] = {D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D32, D3DFMT_D24X8};
        bool found = false;
        for (D3DFORMAT candidate : kDepth32) {
            if (DepthFormatAccepted(s, adapterFormat, p->BackBufferFormat, candidate)) {
                p->AutoDepthStencilFormat = candidate;
                found = true;
                break;
            }
        }
        if (!found) {
            s.backBufferDepth = 16;
        }
    }
    if (s.backBufferDepth == 16) {
        p->AutoDepthStencilFormat = DepthFormatAccepted(s, adapterFormat, p->BackBufferFormat, D3DFMT_D15S1)
                                        ? D3DFMT_D15S1
                                        : D3DFMT_D16;
    }
    const D3DFORMAT depth = p->AutoDepthStencilFormat;
    s.hasStencil = depth == D3DFMT_D24S8 || depth == D3DFMT_D24X4S4 || depth == D3DFMT_D15S1;

    p->MultiSampleType = D3DMULTISAMPLE_NONE;
    p->MultiSampleQuality = 0;
    if (!s.dialogBoxMode && (s.requestedMultiSamples >= 2 || s.nonMaskableQuality >= 2)) {
        DWORD quality = 0;
        if (SUCCEEDED(
                s.d3d->CheckDeviceMultiSampleType(s.adapter, s.deviceType, p->BackBufferFormat, p->Windowed,
                                                  D3DMULTISAMPLE_TYPE(s.requestedMultiSamples), &quality)) &&
            quality > 0) {
            p->MultiSampleType = D3DMULTISAMPLE_TYPE(s.requestedMultiSamples);
            p->MultiSampleQuality = quality - 1;
        } else if (SUCCEEDED(s.d3d->CheckDeviceMultiSampleType(s.adapter, s.deviceType, p->BackBufferFormat,
                                                               p->Windowed, D3DMULTISAMPLE_NONMASKABLE,
                                                               &quality)) &&
                   quality > 0) {
            p->MultiSampleType = D3DMULTISAMPLE_NONMASKABLE;
            const uint32_t wanted = s.nonMaskableQuality >= 2 ? s.nonMaskableQuality - 2 : 0;
            p->MultiSampleQuality = wanted < quality - 1 ? wanted : quality - 1;
        }
        if (p->MultiSampleType != D3DMULTISAMPLE_NONE) {
            p->SwapEffect = D3DSWAPEFFECT_DISCARD;
        }
    }
}

uint32_t D3D9EngineGetMaxMultiSamplingLevels()
{
    return D3D9State().maxMultiSamples;
}

uint32_t D3D9ComputeMultiSampling(uint32_t levels, uint32_t* requested)
{
    D3D9DriverState& s = D3D9State();
    const uint32_t clamped = levels < s.maxMultiSamples ? levels : s.maxMultiSamples;
    if (clamped < 2) {
        *requested = 1;
        return 1;
    }
    uint32_t level = clamped;
    const BOOL windowed = (s.mode.flags & 1) == 0;
    while (level >= 2 &&
           FAILED(s.d3d->CheckDeviceMultiSampleType(s.adapter, s.deviceType, s.mode.format, windowed,
                                                    D3DMULTISAMPLE_TYPE(level), nullptr))) {
        --level;
    }
    *requested = level >= 2 ? level : 1;
    return s.nonMaskableCount * clamped / s.maxMultiSamples;
}

uint32_t D3D9EngineSetMultiSamplingLevels(uint32_t levels)
{
    D3D9DriverState& s = D3D9State();
    s.nonMaskableQuality = D3D9ComputeMultiSampling(levels, &s.requestedMultiSamples);
    return s.nonMaskableQuality;
}

uint32_t D3D9EngineSetRefreshRate(uint32_t hz)
{
    D3D9DriverState& s = D3D9State();
    s.refreshCap = hz;
    if (hz == 0 || !s.d3d) {
        return hz;
    }
    uint32_t best = 0;
    for (D3DFORMAT format : kEnumeratedFormats) {
        const uint32_t count = s.d3d->GetAdapterModeCount(s.adapter, format);
        for (uint32_t i = 0; i < count; ++i) {
            D3DDISPLAYMODE mode{};
            if (FAILED(s.d3d->EnumAdapterModes(s.adapter, format, i, &mode))) {
                continue;
            }
            if (mode.RefreshRate == hz) {
                return hz;
            }
            if (mode.RefreshRate < hz && mode.RefreshRate > best) {
                best = mode.RefreshRate;
            }
        }
    }
    s.refreshCap = best;
    return best;
}

const D3D9VideoModeEntry* D3D9GetVideoModes(int32_t* count)
{
    D3D9DriverState& s = D3D9State();
    if (!s.d3d || !D3D9EnsureModeTable()) {
        *count = 0;
        return nullptr;
    }
    *count = s.modeCount;
    return s.modes;
}
