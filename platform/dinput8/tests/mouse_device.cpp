// The DirectInput 8 stand-in's mouse: creation, the buffered items with
// their offsets, overflow, the state read, and lost input after a focus loss.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "platform/dinput8/dinput8.h"

namespace {

class MouseDevice : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        void* out = nullptr;
        ASSERT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, &out, nullptr), DI_OK);
        input_ = static_cast<IDirectInput8*>(out);
        ASSERT_EQ(input_->CreateDevice(GUID_SysMouse, &mouse_, nullptr), DI_OK);
        ASSERT_EQ(mouse_->SetDataFormat(&c_dfDIMouse), DI_OK);
        ASSERT_EQ(mouse_->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_FOREGROUND), DI_OK);
        DIPROPDWORD buffer{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 64};
        ASSERT_EQ(mouse_->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph), DI_OK);
        ASSERT_EQ(mouse_->Acquire(), DI_OK);
    }
    void TearDown() override
    {
        if (mouse_)
            mouse_->Release();
        input_->Release();
    }

    /// Reads up to `max` items; the answer in `result`.
    std::vector<DIDEVICEOBJECTDATA> Read(DWORD max, HRESULT* result)
    {
        std::vector<DIDEVICEOBJECTDATA> items(max);
        DWORD count = max;
        *result = mouse_->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), items.data(), &count, 0);
        items.resize(count);
        return items;
    }

    IDirectInput8* input_ = nullptr;
    IDirectInputDevice8* mouse_ = nullptr;
};

TEST(DirectInput8, CreateChecksVersionAndInterface)
{
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(DirectInput8Create(nullptr, 0x0700, IID_IDirectInput8A, &out, nullptr),
              DIERR_OLDDIRECTINPUTVERSION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, GUID_SysMouse, &out, nullptr),
              DIERR_INVALIDPARAM);
    ASSERT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, &out, nullptr), DI_OK);
    auto* input = static_cast<IDirectInput8*>(out);
    IDirectInputDevice8* device = nullptr;
    EXPECT_EQ(input->CreateDevice(IID_IDirectInput8A, &device, nullptr), DIERR_DEVICENOTREG);
    EXPECT_EQ(device, nullptr);
    ASSERT_EQ(input->CreateDevice(GUID_SysMouse, &device, nullptr), DI_OK);
    EXPECT_EQ(device->Acquire(), DIERR_INVALIDPARAM) << "no data format yet";
    EXPECT_EQ(device->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND),
              DIERR_INVALIDPARAM);
    device->Release();
    input->Release();
}

TEST_F(MouseDevice, BufferedItemsCarryOffsetsAndData)
{
    DInput8FeedMotion(5, -3);
    DInput8FeedButton(0, true);
    DInput8FeedButton(1, true);
    DInput8FeedButton(0, false);
    HRESULT result = 0;
    const auto items = Read(64, &result);
    EXPECT_EQ(result, DI_OK);
    ASSERT_EQ(items.size(), 5u);
    const DWORD offsets[] = {DIMOFS_X, DIMOFS_Y, DIMOFS_BUTTON0, DIMOFS_BUTTON1, DIMOFS_BUTTON0};
    const DWORD data[] = {5, DWORD(-3), 0x80, 0x80, 0};
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].dwOfs, offsets[i]) << i;
        EXPECT_EQ(items[i].dwData, data[i]) << i;
        EXPECT_EQ(items[i].dwSequence, DWORD(i));
    }
    EXPECT_TRUE(Read(64, &result).empty());
}

TEST_F(MouseDevice, OverflowKeepsTheFirst64AndSaysSo)
{
    for (int i = 0; i < 70; ++i)
        DInput8FeedMotion(i + 1, 0);
    HRESULT result = 0;
    auto items = Read(10, &result);
    EXPECT_EQ(result, DI_BUFFEROVERFLOW);
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(items[0].dwData, 1u);
    items = Read(100, &result);
    EXPECT_EQ(result, DI_OK) << "the overflow is reported once";
    ASSERT_EQ(items.size(), 54u);
    EXPECT_EQ(items.back().dwData, 64u);
}

TEST_F(MouseDevice, ExtremeDeltasAndTheState)
{
    DInput8FeedMotion(INT32_MAX, INT32_MIN);
    HRESULT result = 0;
    const auto items = Read(2, &result);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(int32_t(items[0].dwData), INT32_MAX);
    EXPECT_EQ(int32_t(items[1].dwData), INT32_MIN);

    DInput8FeedMotion(3, 4);
    DInput8FeedMotion(-1, 1);
    DInput8FeedButton(1, true);
    DIMOUSESTATE state{};
    ASSERT_EQ(mouse_->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, INT32_MAX - 1) << "saturated at the top, then one back";
    EXPECT_EQ(state.lY, INT32_MIN + 5);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
    EXPECT_EQ(state.rgbButtons[0], 0);
    ASSERT_EQ(mouse_->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 0) << "motion is counted from the last read";
    EXPECT_EQ(mouse_->GetDeviceState(8, &state), DIERR_INVALIDPARAM);
}

TEST_F(MouseDevice, FocusLossLosesInputUntilAcquired)
{
    DInput8FeedMotion(1, 1);
    DInput8FeedFocusLost();
    DInput8FeedMotion(2, 2); // not seen: the mouse is not acquired
    HRESULT result = 0;
    EXPECT_TRUE(Read(64, &result).empty());
    EXPECT_EQ(result, DIERR_INPUTLOST);
    DIMOUSESTATE state{};
    EXPECT_EQ(mouse_->GetDeviceState(sizeof state, &state), DIERR_INPUTLOST);
    EXPECT_EQ(mouse_->Acquire(), DI_OK);
    DInput8FeedMotion(7, 0);
    const auto items = Read(64, &result);
    EXPECT_EQ(result, DI_OK);
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.back().dwData, 7u);
    mouse_->Unacquire();
    EXPECT_TRUE(Read(64, &result).empty());
    EXPECT_EQ(result, DIERR_NOTACQUIRED);
}

} // namespace
