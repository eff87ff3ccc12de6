#pragma once
// Fixture of the shape and container tests: the toolkit on an engine with
// the scene library attached, a recording immediate-mode pipeline, and
// helpers that make brushes and outlines.

#include <memory>

#include "graphics/scene/scenelibrary.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/shape.h"
#include "graphics/toolkit2d/testing/im3drecorder.h"
#include "graphics/toolkit2d/tests/twodtesting.h"

class ShapeTest : public TwoDTest
{
  protected:
    bool StartEngine() override { return Init() && WorldLibraryAttach() && Open() && EngineStart(); }

    void SetUp() override
    {
        TwoDTest::SetUp();
        recorder_ = std::make_unique<Im3DRecorder>();
        ASSERT_TRUE(recorder_->Installed());
    }
    void TearDown() override
    {
        recorder_.reset();
        TwoDTest::TearDown();
    }

    /// A brush of one flat colour (R, G, B, A bytes).
    static Brush* FlatBrush(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255)
    {
        Brush* brush = BrushCreate();
        const uint8_t colour[4] = {r, g, b, a};
        BrushSetColours(brush, colour, colour, colour, colour);
        return brush;
    }

    /// A closed axis-aligned square outline.
    static Path* Square(float x, float y, float side)
    {
        Path* path = PathCreate();
        PathRect(path, x, y, side, side);
        return path;
    }

    /// A shape of one entry; the shape holds its own reference to the brush.
    static Object2D* OneEntryShape(uint32_t mode, Path* path, Brush* brush)
    {
        Object2D* shape = ShapeCreate();
        ShapeAddEntry(shape, mode, path, brush);
        return shape;
    }

    std::unique_ptr<Im3DRecorder> recorder_;
};
