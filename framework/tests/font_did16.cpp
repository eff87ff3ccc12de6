// The framework's font on the software device: "DID16" from the sample
// fonts (the tests run in <build>/data, where fontgen writes "fonts/").
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "framework/font.h"
#include "framework/framework.h"
#include "framework/impactparticles.h"
#include "graphics/core/camera.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/texture.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/imageformats.h"
#include "graphics/toolkit2d/tests/twodtesting.h"
#include "graphics/toolkit2d/toolkit2d.h"
#include "graphics/toolkit2d/twoddevice.h"
#include "platform/win32/debugout.h"

namespace {

std::vector<std::string>& Boxes()
{
    static std::vector<std::string> boxes;
    return boxes;
}

class FontLoad : public TwoDTest
{
  protected:
    void SetUp() override
    {
        TwoDTest::SetUp();
        TwoDToolkitClose(); // the font opens the toolkit itself
        Boxes().clear();
        Framework() = FrameworkGlobals{};
        Win32SetMessageBoxSink([](HWND, const char* text, const char*, UINT) {
            Boxes().emplace_back(text);
            return IDOK;
        });
        ASSERT_TRUE(FileSystemManagerOpen(0));
        FileSystem* files = Win32FileSystemCreate(20, (root_ + "/").c_str(), "unc");
        ASSERT_NE(files, nullptr);
        ASSERT_TRUE(FileSystemManagerRegister(files));
        FileSystemManagerSetDefault(files);
        ASSERT_TRUE(Toolkit2dImageFormatsRegister());
    }
    /// Reads the data from `root` from now on, in place of the data root.
    static bool ReadFrom(const std::string& root)
    {
        FileSystemManagerClose();
        if (!FileSystemManagerOpen(0))
            return false;
        FileSystem* files = Win32FileSystemCreate(20, (root + "/").c_str(), "unc");
        if (!files || !FileSystemManagerRegister(files))
            return false;
        FileSystemManagerSetDefault(files);
        return true;
    }
    void TearDown() override
    {
        Win32SetMessageBoxSink(nullptr);
        TwoDToolkitOpen(camera_); // for the fixture's own close
        TwoDTest::TearDown();
        FileSystemManagerClose();
    }

    std::string root_ = std::filesystem::current_path().string();
};

Texture* CheckFilter(Texture* texture, void* count)
{
    EXPECT_EQ(TextureGetFilterMode(texture), 2u);
    ++*static_cast<int*>(count);
    return texture;
}

TEST_F(FontLoad, Did16WithLinearGlyphPages)
{
    CFont font;
    ASSERT_TRUE(font.Load(camera_)) << (Boxes().empty() ? "" : Boxes()[0]);
    EXPECT_TRUE(Boxes().empty());
    ASSERT_NE(font.GetBrush(), nullptr);
    int pages = 0;
    TexDictionaryForAllTextures(FontGetTexDictionary(), CheckFilter, &pages);
    EXPECT_GT(pages, 0);
    EXPECT_EQ(TwoDDeviceGetFlatness(), 1.0f);
    EXPECT_FLOAT_EQ(TwoDDeviceGetLayerDepth(), 1.1f * camera_->nearPlane);
    const V2d at = {0.025f, 0.78f};
    EXPECT_EQ(font.Print("FPS : 60.00", &at, 0.04f), font.GetFont());
    EXPECT_TRUE(font.Release());
    EXPECT_EQ(font.GetFont(), nullptr);
}

/// The columns the text drawn over a black frame covers: first and last, -1 when none.
std::pair<int, int> TextColumns(const std::vector<uint32_t>& pixels, int width)
{
    int first = -1, last = -1;
    for (size_t i = 0; i < pixels.size(); ++i) {
        if ((pixels[i] & 0xFFFFFF) == 0)
            continue;
        const int x = int(i % size_t(width));
        first = first < 0 ? x : std::min(first, x);
        last = std::max(last, x);
    }
    return {first, last};
}

// Lines that would run past the right edge move left; a line wider than the
// view shrinks. Either way every glyph pixel lies inside the frame.
TEST_F(FontLoad, PrintedLinesStayInsideTheView)
{
    CFont font;
    ASSERT_TRUE(font.Load(camera_));
    EXPECT_FLOAT_EQ(CFont::ViewWidth(), float(kWidth) / float(kHeight));
    const struct
    {
        const char* text;
        float x;
    } lines[] = {
        {"Use \"C\" key to switch fixed/free camera", 0.55f},
        {"2 worlds with 12 clumps (3 active clumps, 40 geometries) and more", 0.025f},
        {"short", 1.3f},
    };
    const uint8_t black[4] = {0, 0, 0, 255};
    for (const auto& line : lines) {
        ASSERT_GT(font.Width(line.text, 0.08f), 0.0f);
        ASSERT_NE(CameraClear(camera_, black, 3), nullptr);
        ASSERT_NE(CameraBeginUpdate(camera_), nullptr);
        const V2d at = {line.x, 0.5f};
        EXPECT_EQ(font.Print(line.text, &at, 0.08f), font.GetFont());
        CameraEndUpdate(camera_);
        const auto [first, last] = TextColumns(FramePixels(), kWidth);
        EXPECT_GE(first, 1) << line.text;
        EXPECT_LE(last, kWidth - 2) << line.text;
    }
    EXPECT_TRUE(font.Release());
}

TEST_F(FontLoad, MissingFontIsReportedAndPrintsNothing)
{
    CFont font;
    root_ = (std::filesystem::path(OLAI_TEST_OUTPUT_DIR) / "nofonts").string();
    std::filesystem::create_directories(root_);
    ASSERT_TRUE(ReadFrom(root_));
    EXPECT_FALSE(font.Load(camera_));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Unable to load font DID16\nPlease update your assets"});
    EXPECT_TRUE(Framework().halt);
    EXPECT_EQ(font.GetBrush(), nullptr);
    const V2d at = {0, 0};
    EXPECT_EQ(font.Print("text", &at, 0.04f), nullptr);
    EXPECT_TRUE(font.Release());
}

// A metrics file cut after its header reads as a font without glyphs: it
// is reported as damaged rather than printing every text as nothing.
TEST_F(FontLoad, FontWithoutGlyphsIsReportedAsDamaged)
{
    CFont font;
    root_ = (std::filesystem::path(OLAI_TEST_OUTPUT_DIR) / "cutfonts").string();
    std::filesystem::create_directories(root_ + "/fonts");
    std::ofstream(root_ + "/fonts/did16.met", std::ios::binary) << "METRICS1\n\n";
    ASSERT_TRUE(ReadFrom(root_));
    EXPECT_FALSE(font.Load(camera_));
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Font DID16 has no glyph: FONTS/DID16.MET is damaged\nPlease update your assets"});
    EXPECT_TRUE(Framework().halt);
    EXPECT_EQ(font.GetFont(), nullptr);
    EXPECT_TRUE(font.Release());
}

// A metrics file whose character list holds a code above 127 reads as a
// font of 16-bit codes, which would read the framework's 8-bit texts past
// their end: it is reported as damaged.
TEST_F(FontLoad, FontOfWideCharactersIsReportedAsDamaged)
{
    CFont font;
    root_ = (std::filesystem::path(OLAI_TEST_OUTPUT_DIR) / "widefonts").string();
    std::filesystem::create_directories(root_ + "/fonts");
    std::filesystem::copy_file("fonts/did16.met", root_ + "/fonts/did16.met",
                               std::filesystem::copy_options::overwrite_existing);
    for (const auto& entry : std::filesystem::directory_iterator("fonts"))
        if (entry.path().stem() == "did16" && entry.path().extension() != ".met")
            std::filesystem::copy_file(entry.path(), root_ + "/fonts/" + entry.path().filename().string(),
                                       std::filesystem::copy_options::overwrite_existing);
    std::ifstream in(root_ + "/fonts/did16.met", std::ios::binary);
    std::string met((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const size_t letter = met.find('A', met.find('!'));
    ASSERT_NE(letter, std::string::npos);
    met.replace(letter, 1, "\xC3\x81"); // U+00C1 in place of "A"
    std::ofstream(root_ + "/fonts/did16.met", std::ios::binary) << met;
    ASSERT_TRUE(ReadFrom(root_));
    EXPECT_FALSE(font.Load(camera_));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Font DID16 has characters beyond 8 bits: FONTS/DID16.MET is "
                                                "damaged\nPlease update your assets"});
    EXPECT_EQ(font.GetFont(), nullptr);
    EXPECT_TRUE(font.Release());
}

// The impact particles' picture, read the same way from the data root: a
// damaged file is reported as damaged, not as missing.
TEST_F(FontLoad, ParticlePictureMissingOrDamagedIsToldApart)
{
    const struct
    {
        const char* bytes; // null: no file
        const char* box;
    } cases[] = {
        {nullptr, "Texture file 'PARTICLE.PNG' not found\nPlease check your data"},
        {"\x89PNG\r\n\x1a\n cut short",
         "Texture file 'PARTICLE.PNG' cannot be read: the file is damaged\nPlease check your data"},
    };
    for (const auto& c : cases) {
        const std::string root = (std::filesystem::path(OLAI_TEST_OUTPUT_DIR) / "particles").string();
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root + "/models/textures");
        if (c.bytes)
            std::ofstream(root + "/models/textures/particle.png", std::ios::binary) << c.bytes;
        FileSystemManagerClose();
        ASSERT_TRUE(FileSystemManagerOpen(0));
        FileSystem* files = Win32FileSystemCreate(20, (root + "/").c_str(), "unc");
        ASSERT_TRUE(FileSystemManagerRegister(files));
        FileSystemManagerSetDefault(files);
        Boxes().clear();
        CImpactParticles particles;
        EXPECT_FALSE(particles.Init(1.0f, 255, 0, 0));
        EXPECT_EQ(Boxes(), std::vector<std::string>{c.box});
    }
}

} // namespace
