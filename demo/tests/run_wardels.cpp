// The demo run headless on the sample data with its scripted input (Space
// closes the start screen, the VIP runs, turns and stops): it ends by itself
// with exit code 0 and keeps its last frame, which shows
// the blue VIP and the red escorts.
#include <gtest/gtest.h>

#include <png.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool ReadPng(const std::string& path, std::vector<uint32_t>* pixels, uint32_t* width, uint32_t* height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_BGRA;
    pixels->resize(size_t(image.width) * image.height);
    const bool ok = png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr) != 0;
    *width = image.width;
    *height = image.height;
    return ok;
}

/// Runs the demo for `frames` frames of 33 ms; its exit code, the last frame in `png`.
int RunDemo(int frames, const std::string& png)
{
    const std::string command = "cd " OLAI_DATA_DIR " && SDL_VIDEODRIVER=offscreen OLAI_FRAME_MS=33 "
                                "OLAI_EXIT_AFTER_FRAMES=" +
                                std::to_string(frames) + " OLAI_SCREENSHOT=" + png +
                                " OLAI_INPUT_SCRIPT=" OLAI_DEMO_SCRIPT " " OLAI_WARDELS " > " + png +
                                ".txt 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The soldiers are solid blue and solid red: lit, one channel stays alone
// (the level's bricks and the debug lines mix the others in).
bool IsBlue(uint32_t bgra)
{
    const int b = int(bgra & 0xFF), g = int((bgra >> 8) & 0xFF), r = int((bgra >> 16) & 0xFF);
    return b > 80 && r < 30 && g < 30;
}

bool IsRed(uint32_t bgra)
{
    const int b = int(bgra & 0xFF), g = int((bgra >> 8) & 0xFF), r = int((bgra >> 16) & 0xFF);
    return r > 80 && g < 30 && b < 30;
}

/// Separate groups of pixels that pass `test` (4-connected) of at least `least` pixels.
int Blobs(const std::vector<uint32_t>& pixels, uint32_t width, uint32_t height, bool (*test)(uint32_t),
          int least)
{
    std::vector<uint8_t> seen(pixels.size(), 0);
    int blobs = 0;
    std::vector<size_t> stack;
    for (size_t start = 0; start < pixels.size(); ++start) {
        if (seen[start] || !test(pixels[start]))
            continue;
        int size = 0;
        stack.push_back(start);
        seen[start] = 1;
        while (!stack.empty()) {
            const size_t at = stack.back();
            stack.pop_back();
            ++size;
            const size_t x = at % width, y = at / width;
            const size_t next[4] = {x > 0 ? at - 1 : at, x + 1 < width ? at + 1 : at, y > 0 ? at - width : at,
                                    y + 1 < height ? at + width : at};
            for (size_t n : next)
                if (!seen[n] && test(pixels[n])) {
                    seen[n] = 1;
                    stack.push_back(n);
                }
        }
        blobs += size >= least;
    }
    return blobs;
}

TEST(DemoRun, HeadlessRunEndsAndShowsTheVipAmongItsEscorts)
{
    const std::string png = OLAI_TEST_OUTPUT_DIR "/wardels.png";
    std::remove(png.c_str());
    ASSERT_EQ(RunDemo(150, png), 0);
    std::vector<uint32_t> pixels;
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(ReadPng(png, &pixels, &width, &height));
    EXPECT_EQ(width, 640u);
    EXPECT_EQ(height, 480u);
    EXPECT_GE(Blobs(pixels, width, height, &IsBlue, 10), 1) << "the VIP";
    EXPECT_GE(Blobs(pixels, width, height, &IsRed, 5), 3) << "the escorts";
}

} // namespace
