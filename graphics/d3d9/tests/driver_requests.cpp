// The driver's lifecycle on the software device and its system requests:
// video modes, subsystems, formats chosen for several adapters, options.

#include <string>

#include "graphics/d3d9/presentparams.h"
#include "graphics/d3d9/quirks.h"
#include "graphics/d3d9/tests/d3d9testing.h"

TEST_F(EngineFixture, StartsOnTheWindowAndLeavesNoDeviceObjects)
{
    ASSERT_TRUE(Init());
    ASSERT_TRUE(Open());
    EXPECT_NE(D3D9GetDirect3D(), nullptr);
    EXPECT_EQ(D3D9GetDevice(), nullptr);
    ASSERT_TRUE(EngineStart());
    ASSERT_NE(Device(), nullptr);
    D3DDEVICE_CREATION_PARAMETERS creation{};
    Device()->GetCreationParameters(&creation);
    EXPECT_EQ(creation.hFocusWindow, window_);
    EXPECT_EQ(creation.BehaviorFlags & D3DCREATE_HARDWARE_VERTEXPROCESSING,
              D3DCREATE_HARDWARE_VERTEXPROCESSING);
    // The back buffer takes the window's client size, which the mode records.
    EXPECT_EQ(D3D9GetPresentParameters()->BackBufferWidth, UINT(kWidth));
    EXPECT_EQ(D3D9State().mode.width, uint32_t(kWidth));
    EXPECT_EQ(D3D9State().mode.height, uint32_t(kHeight));
    EXPECT_TRUE(EngineStop());
    EXPECT_EQ(D3D9GetDevice(), nullptr);
    EXPECT_TRUE(EngineClose());
    EXPECT_EQ(D3D9GetDirect3D(), nullptr);
    EXPECT_TRUE(EngineTerm());
    EXPECT_EQ(D3D9LiveObjectCount(), 0);
}

TEST_F(EngineFixture, OpenFailsWithoutAnAdapterThatHasADevice)
{
    D3D9AdapterConfig adapter = TestAdapter("no device", D3DFMT_X8R8G8B8);
    adapter.hasDevice = false;
    D3D9SetAdapters(&adapter, 1);
    ASSERT_TRUE(Init());
    EXPECT_FALSE(Open());
    EXPECT_EQ(D3D9GetDirect3D(), nullptr);
}

TEST_F(EngineFixture, ModeTableMergesRefreshRatesAndStartsWithTheDesktop)
{
    ASSERT_TRUE(Init());
    ASSERT_TRUE(Open());
    const int32_t count = EngineGetNumVideoModes();
    // The stand-in lists 6 sizes at 60 and 75 Hz in each of the three formats.
    ASSERT_EQ(count, 1 + 3 * 6);
    VideoMode mode{};
    ASSERT_NE(EngineGetVideoModeInfo(&mode, 0), nullptr);
    EXPECT_EQ(mode.width, 1024);
    EXPECT_EQ(mode.flags, 0u);
    EXPECT_EQ(mode.depth, 32);
    EXPECT_EQ(mode.format, 0x0600);
    ASSERT_NE(EngineGetVideoModeInfo(&mode, 1), nullptr);
    EXPECT_EQ(mode.width, 640);
    EXPECT_EQ(mode.refreshRate, 75);
    EXPECT_EQ(mode.flags, kVideoModeExclusive);
    EXPECT_EQ(mode.depth, 16);
    EXPECT_EQ(mode.format, 0x0200);
    EXPECT_EQ(EngineGetVideoModeInfo(&mode, count), nullptr);
    EXPECT_EQ(EngineGetVideoModeInfo(&mode, -1), nullptr);
    EXPECT_TRUE(EngineSetVideoMode(3));
    EXPECT_EQ(EngineGetCurrentVideoMode(), 3);
    EXPECT_FALSE(EngineSetVideoMode(count));
}

TEST_F(EngineFixture, DesktopInAnUnlistedFormatHasNoEntry)
{
    D3D9AdapterConfig adapter = TestAdapter("eight bit", D3DFMT_R3G3B2);
    D3D9SetAdapters(&adapter, 1);
    ASSERT_TRUE(Init());
    ASSERT_TRUE(Open());
    EXPECT_EQ(EngineGetNumVideoModes(), 3 * 6);
    VideoMode mode{};
    ASSERT_NE(EngineGetVideoModeInfo(&mode, 0), nullptr);
    EXPECT_EQ(mode.width, 640);
    EXPECT_EQ(mode.flags, kVideoModeExclusive);
}

TEST_F(EngineFixture, VideoModeCannotChangeOnceStarted)
{
    ASSERT_TRUE(Start());
    EXPECT_FALSE(EngineSetVideoMode(1));
}

struct FormatCase
{
    D3DFORMAT desktop;
    D3DFORMAT backBuffer;
    D3DFORMAT depth;
    uint32_t stencil;
};

class FormatChoice : public EngineFixture, public ::testing::WithParamInterface<FormatCase>
{
};

TEST_P(FormatChoice, BackBufferAndDepthFollowTheDesktop)
{
    const FormatCase& c = GetParam();
    D3D9AdapterConfig adapter = TestAdapter("formats", c.desktop);
    D3D9SetAdapters(&adapter, 1);
    ASSERT_TRUE(Start());
    const D3DPRESENT_PARAMETERS* p = D3D9GetPresentParameters();
    EXPECT_EQ(p->Windowed, 1);
    EXPECT_EQ(p->SwapEffect, D3DSWAPEFFECT_COPY);
    EXPECT_EQ(p->BackBufferFormat, c.backBuffer);
    EXPECT_EQ(p->AutoDepthStencilFormat, c.depth);
    EXPECT_EQ(D3D9GetHasStencil(), c.stencil);
    EXPECT_EQ(p->PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
}

INSTANTIATE_TEST_SUITE_P(Adapters, FormatChoice,
                         ::testing::Values(FormatCase{D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_D24S8, 1},
                                           FormatCase{D3DFMT_R5G6B5, D3DFMT_R5G6B5, D3DFMT_D15S1, 1},
                                           FormatCase{D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, D3DFMT_D15S1, 1},
                                           FormatCase{D3DFMT_A2R10G10B10, D3DFMT_A2R10G10B10, D3DFMT_D24S8,
                                                      1}));

TEST_F(EngineFixture, FullScreenModeCapsTheRefreshRate)
{
    ASSERT_TRUE(Init());
    ASSERT_TRUE(Open());
    D3D9DriverState& s = D3D9State();
    const D3D9CurrentMode mode = {800, 600, 75, D3DFMT_X8R8G8B8, 32, 1};
    D3DPRESENT_PARAMETERS p{};
    D3D9BuildPresentParameters(&p, mode, s.desktop.Format);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 75u) << "no cap: the mode's own rate";
    EXPECT_EQ(D3D9EngineSetRefreshRate(70), 60u); // no mode has 70 Hz: the next lower rate
    D3D9BuildPresentParameters(&p, mode, s.desktop.Format);
    EXPECT_EQ(p.Windowed, 0);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_FLIP);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 60u);
    EXPECT_EQ(p.BackBufferWidth, 800u);
    EXPECT_EQ(D3D9EngineSetRefreshRate(75), 75u);
    EXPECT_EQ(D3D9EngineSetRefreshRate(50), 0u);
    D3D9EngineSetRefreshRate(0);
    D3D9BuildPresentParameters(&p, mode, s.desktop.Format);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 0u) << "cap 0: the adapter's default rate";
}

TEST_F(EngineFixture, SubsystemsAreTheAdaptersAndLongNamesAreCut)
{
    const std::string longName(120, 'x');
    D3D9AdapterConfig adapters[2] = {TestAdapter(longName.c_str(), D3DFMT_X8R8G8B8),
                                     TestAdapter("second", D3DFMT_R5G6B5, 800, 600)};
    D3D9SetAdapters(adapters, 2);
    ASSERT_TRUE(Init());
    ASSERT_TRUE(Open());
    EXPECT_EQ(EngineGetNumSubSystems(), 2);
    struct Guarded
    {
        SubSystemInfo info;
        char guard[16];
    } record;
    std::memset(&record, 0x5A, sizeof(record));
    ASSERT_NE(EngineGetSubSystemInfo(&record.info, 0), nullptr);
    EXPECT_EQ(std::string(record.info.name), longName.substr(0, kSubSystemNameSize - 1));
    for (char c : record.guard) {
        EXPECT_EQ(c, 0x5A) << "the description ran past the record";
    }
    ASSERT_NE(EngineGetSubSystemInfo(&record.info, 1), nullptr);
    EXPECT_STREQ(record.info.name, "second");
    EXPECT_EQ(D3D9SystemHandler(kDeviceRequestSubSystemInfo, &record.info, nullptr, 2), 0);

    EXPECT_EQ(D3D9SystemHandler(kDeviceRequestSetSubSystem, nullptr, nullptr, 2), 0);
    EXPECT_EQ(D3D9SystemHandler(kDeviceRequestSetSubSystem, nullptr, nullptr, -1), 0);
    EXPECT_EQ(EngineGetCurrentSubSystem(), 0);
    ASSERT_TRUE(EngineSetSubSystem(1));
    EXPECT_EQ(EngineGetCurrentSubSystem(), 1);
    VideoMode mode{};
    ASSERT_NE(EngineGetVideoModeInfo(&mode, 0), nullptr);
    EXPECT_EQ(mode.width, 800);
    EXPECT_EQ(mode.depth, 16);
    ASSERT_TRUE(EngineStart());
    EXPECT_EQ(D3D9GetPresentParameters()->BackBufferFormat, D3DFMT_R5G6B5);
}

TEST_F(EngineFixture, SmallRequestsAnswerTheirFixedShapes)
{
    ASSERT_TRUE(Start());
    uint32_t id = 0xAAAAAAAA;
    ASSERT_EQ(D3D9SystemHandler(kDeviceRequestDeviceId, &id, nullptr, 0), 1);
    EXPECT_EQ(id, 0xAAAA0002u) << "request 22 writes 16 bits only";
    EXPECT_EQ(EngineGetMaxTextureSize(), 2048);
    EXPECT_GT(EngineGetTextureMemorySize(), 0);
    DeviceBlock block;
    std::memset(&block, 0xEE, sizeof(block));
    ASSERT_EQ(D3D9SystemHandler(kDeviceRequestRegister, &block, nullptr, 0), 1);
    EXPECT_EQ(block.gamma, 1.0f);
    EXPECT_EQ(block.systemHandler, D3D9SystemHandler);
    EXPECT_EQ(block.zBufferFar, 1.0f);
    for (int request : {9, 18, 20, 21, 23}) {
        EXPECT_EQ(D3D9SystemHandler(request, &block, nullptr, 0), 0) << request;
    }
    EXPECT_TRUE(EngineFocus(true)); // windowed: nothing to do
}

TEST_F(EngineFixture, LargestTextureSideIsTheLargerCap)
{
    D3D9AdapterConfig adapter = TestAdapter("tall textures", D3DFMT_X8R8G8B8);
    adapter.caps.MaxTextureWidth = 2048;
    adapter.caps.MaxTextureHeight = 4096;
    D3D9SetAdapters(&adapter, 1);
    ASSERT_TRUE(Start());
    EXPECT_EQ(EngineGetMaxTextureSize(), 4096);
}

TEST_F(EngineFixture, SoftwareVertexProcessingClearsHardwareTransformCaps)
{
    ASSERT_TRUE(Init());
    ASSERT_TRUE(Open());
    D3D9EngineSetSoftwareVertexProcessing(1);
    ASSERT_TRUE(EngineStart());
    D3DDEVICE_CREATION_PARAMETERS creation{};
    Device()->GetCreationParameters(&creation);
    EXPECT_EQ(creation.BehaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING,
              D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_EQ(D3D9GetCaps()->DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT, 0u);
    EXPECT_EQ(D3D9GetCaps()->DeclTypes, 0u);
    D3D9EngineSetSoftwareVertexProcessing(0);
}

TEST(D3D9Quirks, StreamOffsetsAreClearedOnlyForTheKnownAdapter)
{
    D3DCAPS9 caps{};
    caps.DevCaps2 = D3DDEVCAPS2_STREAMOFFSET | D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES;
    D3DADAPTER_IDENTIFIER9 identifier{};
    identifier.VendorId = 0x1002;
    identifier.DeviceId = 0x5158;
    EXPECT_FALSE(D3D9ApplyAdapterQuirks(&caps, &identifier));
    EXPECT_EQ(caps.DevCaps2 & D3DDEVCAPS2_STREAMOFFSET, D3DDEVCAPS2_STREAMOFFSET);
    identifier.DeviceId = 0x5157;
    EXPECT_TRUE(D3D9ApplyAdapterQuirks(&caps, &identifier));
    EXPECT_EQ(caps.DevCaps2, D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES);
}

TEST_F(EngineFixture, DxtSupportFollowsTheAdapter)
{
    D3D9AdapterConfig adapters[2] = {TestAdapter("dxt", D3DFMT_X8R8G8B8),
                                     TestAdapter("none", D3DFMT_X8R8G8B8)};
    adapters[0].supportsDxt = true;
    adapters[1].supportsDxt = false;
    D3D9SetAdapters(adapters, 2);
    ASSERT_TRUE(Init());
    ASSERT_TRUE(Open());
    EXPECT_TRUE(D3D9DeviceSupportsDXTTexture());
    ASSERT_TRUE(EngineSetSubSystem(1));
    EXPECT_FALSE(D3D9DeviceSupportsDXTTexture());
}
