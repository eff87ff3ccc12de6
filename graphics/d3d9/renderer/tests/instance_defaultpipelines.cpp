// The default-pipeline setters: a pipeline given becomes the current one of
// its kind, null brings the kind's default back (none for the third kind),
// and the other kinds are left as they were.
#include <functional>

#include "graphics/d3d9/renderer/tests/renderertesting.h"

namespace {

using DefaultPipelines = RendererFixture;

TEST_F(DefaultPipelines, SettersMakeAPipelineCurrentAndNullRestoresTheDefault)
{
    struct Case
    {
        const char* name;
        PipelineObjectKind kind;
        std::function<Pipeline*(Pipeline*)> set; ///< the pipeline it reports current, when it reports one
    };
    const Case cases[] = {
        {"atomic", kPipelineKindAtomic,
         [](Pipeline* p) {
             AtomicSetDefaultPipeline(p);
             return PipelineGetDefaultSlots()->current[kPipelineKindAtomic];
         }},
        {"world sector", kPipelineKindWorldSector,
         [](Pipeline* p) {
             WorldSectorSetDefaultPipeline(p);
             return PipelineGetDefaultSlots()->current[kPipelineKindWorldSector];
         }},
        {"third", kPipelineKindThird, ThirdKindSetDefaultPipeline},
    };
    PipelineDefaultSlots* slots = PipelineGetDefaultSlots();
    ASSERT_NE(slots, nullptr);
    ASSERT_NE(slots->defaults[kPipelineKindAtomic], nullptr);
    ASSERT_NE(slots->defaults[kPipelineKindWorldSector], nullptr);
    EXPECT_EQ(slots->defaults[kPipelineKindThird], nullptr);
    Pipeline* custom = PipelineCreate();
    ASSERT_NE(custom, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PipelineDefaultSlots before = *slots;
        EXPECT_EQ(c.set(custom), custom);
        EXPECT_EQ(slots->current[c.kind], custom);
        for (uint32_t other = 0; other < 3; ++other) {
            if (other != c.kind) {
                EXPECT_EQ(slots->current[other], before.current[other]) << other;
            }
            EXPECT_EQ(slots->defaults[other], before.defaults[other]) << other;
        }
        EXPECT_EQ(c.set(nullptr), slots->defaults[c.kind]);
        EXPECT_EQ(slots->current[c.kind], slots->defaults[c.kind]);
    }
    PipelineDestroy(custom);
}

} // namespace
