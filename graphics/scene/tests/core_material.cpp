// Materials and material lists: sharing, textures, chunk 0x07 and chunk
// 0x08, and readers failing cleanly on every malformed input.
#include <filesystem>

#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/texture.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/scene/material.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/tests/scenetesting.h"
#include "graphics/toolkit2d/imageformats.h"
#include "graphics/toolkit2d/png.h"

namespace {

class SceneMaterial : public SceneFixture
{
  protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        ASSERT_TRUE(StartScene(true));
        ASSERT_TRUE(Toolkit2dImageFormatsRegister());
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = std::filesystem::path(OLAI_TEST_OUTPUT_DIR) /
                (std::string(info->test_suite_name()) + "." + info->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        ASSERT_TRUE(FileSystemManagerOpen(0));
        FileSystem* files = Win32FileSystemCreate(20, (root_.string() + "/").c_str(), "unc");
        ASSERT_NE(files, nullptr);
        ASSERT_TRUE(FileSystemManagerRegister(files));
        FileSystemManagerSetDefault(files);
    }
    void TearDown() override
    {
        FileSystemManagerClose();
        SceneFixture::TearDown();
    }

    /// A texture read from a 4x4 PNG written for the test.
    Texture* ReadTexture(const char* name)
    {
        Image* image = ImageCreate(4, 4, 32);
        ImageAllocatePixels(image);
        for (int i = 0; i < 16 * 4; ++i) {
            image->pixels[i] = uint8_t(i * 7);
        }
        EXPECT_NE(PngWrite(image, (std::string(name) + ".png").c_str()), nullptr);
        ImageDestroy(image);
        return TextureRead(name, nullptr);
    }

    std::filesystem::path root_;

    int64_t Live() const { return CountingMemory::live; }
};

Bytes WriteMaterialList(const MaterialList* list)
{
    return WriteBytes([&](Stream* stream) { return MaterialListStreamWrite(list, stream); });
}

bool ReadMaterialList(const Bytes& bytes, MaterialList* list)
{
    return ReadBytes<bool>(bytes, [&](Stream* stream) {
        return StreamFindChunk(stream, kChunkMaterialList, nullptr, nullptr) &&
               MaterialListStreamRead(stream, list);
    });
}

TEST_F(SceneMaterial, TexturedMaterialRoundTrip)
{
    Texture* texture = ReadTexture("checker");
    ASSERT_NE(texture, nullptr);
    Material* material = MaterialCreate();
    MaterialSetTexture(material, texture);
    material->colour = {10, 20, 30, 40};
    material->surfaceProperties = {0.25f, 0.5f, 0.75f};
    Bytes bytes =
        WriteBytes([&](Stream* stream) { return MaterialStreamWrite(material, stream) != nullptr; });
    const uint32_t textureBody = TextureStreamGetSize(texture);
    ASSERT_EQ(bytes.size(), 12 + 40 + 12 + textureBody + 12u);
    EXPECT_EQ(GetU32(bytes, 0), kChunkMaterial);
    EXPECT_EQ(GetU32(bytes, 4), 40 + 12 + textureBody + 12);
    EXPECT_EQ(GetU32(bytes, 8), 0x1C020016u);
    EXPECT_EQ(GetU32(bytes, 12), kChunkStruct);
    EXPECT_EQ(GetU32(bytes, 16), 28u);
    EXPECT_EQ(GetU32(bytes, 28), 0x281E140Au); // colour bytes 10, 20, 30, 40
    EXPECT_EQ(GetU32(bytes, 36), 1u);          // textured
    EXPECT_EQ(GetF32(bytes, 44), 0.5f);        // specular
    EXPECT_EQ(GetU32(bytes, 52), kChunkTexture);

    Material* read = ReadBytes<Material*>(bytes, [](Stream* stream) {
        return StreamFindChunk(stream, kChunkMaterial, nullptr, nullptr) ? MaterialStreamRead(stream)
                                                                         : nullptr;
    });
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->texture, texture);
    EXPECT_EQ(texture->refCount, 3); // ours, the material's, the read material's
    EXPECT_EQ(read->colour.alpha, 40);
    EXPECT_EQ(read->surfaceProperties.ambient, 0.25f);
    EXPECT_EQ(read->surfaceProperties.diffuse, 0.75f);
    MaterialRelease(read);
    MaterialRelease(material);
    EXPECT_EQ(texture->refCount, 1);
    TextureDestroy(texture);
}

TEST_F(SceneMaterial, SharedMaterialFreedOnLastReleaseWithItsTexture)
{
    Texture* texture = ReadTexture("shared");
    ASSERT_NE(texture, nullptr);
    Material* material = MaterialCreate();
    MaterialSetTexture(material, texture);
    MaterialSetTexture(material, texture);
    EXPECT_EQ(texture->refCount, 2) << "setting the same texture again keeps its count";
    MaterialList first{}, second{};
    MaterialListAppendMaterial(&first, material);
    MaterialListAppendMaterial(&second, material);
    MaterialRelease(material);
    EXPECT_EQ(material->refCount, 2);
    MaterialListDeinitialize(&first);
    EXPECT_EQ(material->refCount, 1);
    EXPECT_EQ(texture->refCount, 2);
    MaterialListDeinitialize(&second);
    EXPECT_EQ(texture->refCount, 1);
    TextureDestroy(texture);
}

TEST_F(SceneMaterial, CloneSharesTextureAndCopiesEverything)
{
    Texture* texture = ReadTexture("clone");
    Material* material = MaterialCreate();
    MaterialSetTexture(material, texture);
    material->colour = {1, 2, 3, 4};
    Material* clone = MaterialClone(material);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->refCount, 1);
    EXPECT_EQ(clone->texture, texture);
    EXPECT_EQ(clone->colour.blue, 3);
    EXPECT_EQ(texture->refCount, 3);
    MaterialRelease(clone);
    MaterialRelease(material);
    TextureDestroy(texture);
}

TEST_F(SceneMaterial, ShortStructsGetUnitLightingFromBothReaders)
{
    // A hand-made material chunk with a struct of `size` bytes.
    auto chunk = [](uint32_t size) {
        Bytes bytes(12 + 12 + size + 12 + 12, 0);
        PutU32(bytes, 0, kChunkMaterial);
        PutU32(bytes, 4, uint32_t(bytes.size() - 12));
        PutU32(bytes, 8, 0x1C020016);
        PutU32(bytes, 12, kChunkStruct);
        PutU32(bytes, 16, size);
        PutU32(bytes, 20, 0x1C020016);
        PutU32(bytes, 24 + 4, 0x80FFFFFF);
        for (uint32_t offset = 24 + 16; offset + 4 <= 24 + size; offset += 4) {
            PutU32(bytes, offset, 0x3F000000); // 0.5
        }
        size_t extension = 24 + size;
        PutU32(bytes, extension, kChunkExtension);
        PutU32(bytes, extension + 8, 0x1C020016);
        return bytes;
    };
    struct Case
    {
        uint32_t size;
        float expected;
    } cases[] = {{16, 1.0f}, {28, 0.5f}, {40, 0.5f}};
    for (const Case& c : cases) {
        Bytes bytes = chunk(c.size);
        Material* material = ReadBytes<Material*>(bytes, [](Stream* stream) {
            return StreamFindChunk(stream, kChunkMaterial, nullptr, nullptr) ? MaterialStreamRead(stream)
                                                                             : nullptr;
        });
        ASSERT_NE(material, nullptr) << c.size;
        EXPECT_EQ(material->surfaceProperties.specular, c.expected) << c.size;
        EXPECT_EQ(material->colour.alpha, 0x80) << c.size;
        MaterialRelease(material);
        MaterialChunkInfo info;
        int32_t size = 0;
        ASSERT_TRUE(ReadBytes<bool>(bytes, [&](Stream* stream) {
            return StreamFindChunk(stream, kChunkMaterial, nullptr, nullptr) &&
                   MaterialStreamReadChunkInfo(stream, &info, &size);
        }));
        EXPECT_EQ(info.surfaceProperties.diffuse, c.expected) << c.size;
        EXPECT_EQ(size, int32_t(c.size + 12));
    }
}

TEST_F(SceneMaterial, ListWritesBackReferencesAndSharesOnReading)
{
    Material* a = MaterialCreate();
    Material* b = MaterialCreate();
    Material* c = MaterialCreate();
    a->colour.red = 1;
    b->colour.red = 2;
    c->colour.red = 3;
    MaterialList list{};
    for (Material* m : {a, b, a, c, b}) {
        MaterialListAppendMaterial(&list, m);
    }
    for (Material* m : {a, b, c}) {
        MaterialRelease(m);
    }
    Bytes bytes = WriteMaterialList(&list);
    ASSERT_EQ(bytes.size(), 12 + MaterialListStreamGetSize(&list));
    EXPECT_EQ(GetU32(bytes, 24), 5u);
    const int32_t expected[] = {-1, -1, 0, -1, 1};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(int32_t(GetU32(bytes, 28 + 4 * i)), expected[i]) << i;
    }
    const uint32_t materialBody = MaterialStreamGetSize(a);
    EXPECT_EQ(MaterialListStreamGetSize(&list), 16 + 4 * 5 + 3 * (12 + materialBody));

    MaterialList read{};
    ASSERT_TRUE(ReadMaterialList(bytes, &read));
    ASSERT_EQ(read.count, 5);
    EXPECT_EQ(read.materials[0], read.materials[2]);
    EXPECT_EQ(read.materials[1], read.materials[4]);
    EXPECT_EQ(read.materials[0]->refCount, 2);
    EXPECT_EQ(read.materials[1]->refCount, 2);
    EXPECT_EQ(read.materials[3]->refCount, 1);
    EXPECT_EQ(read.materials[3]->colour.red, 3);
    MaterialListDeinitialize(&read);
    MaterialListDeinitialize(&list);
}

TEST_F(SceneMaterial, ListFindGrowAndEmpty)
{
    Material* a = MaterialCreate();
    Material* b = MaterialCreate();
    MaterialList list{};
    for (Material* m : {a, b, a}) {
        MaterialListAppendMaterial(&list, m);
    }
    EXPECT_EQ(MaterialListFindMaterial(&list, a), 2);
    EXPECT_EQ(MaterialListGetMaterial(&list, 3), nullptr);
    while (list.count < 20) {
        MaterialListAppendMaterial(&list, b);
    }
    EXPECT_EQ(list.capacity, 20);
    MaterialListAppendMaterial(&list, b);
    EXPECT_EQ(list.capacity, 40);
    MaterialListDeinitialize(&list);
    MaterialRelease(a);
    MaterialRelease(b);

    MaterialList empty{};
    EXPECT_EQ(MaterialListStreamGetSize(&empty), 16u);
    Bytes bytes = WriteMaterialList(&empty);
    EXPECT_EQ(bytes.size(), 28u);
    ASSERT_TRUE(ReadMaterialList(bytes, &empty));
    EXPECT_EQ(empty.count, 0);
}

class SceneMaterialRefused : public SceneMaterial
{
  protected:
    /// A list [A, B, A] with a textured B, as bytes.
    Bytes ValidList()
    {
        Texture* texture = ReadTexture("refused");
        Material* a = MaterialCreate();
        Material* b = MaterialCreate();
        MaterialSetTexture(b, texture);
        TextureDestroy(texture);
        MaterialList list{};
        for (Material* m : {a, b, a}) {
            MaterialListAppendMaterial(&list, m);
        }
        MaterialRelease(a);
        MaterialRelease(b);
        Bytes bytes = WriteMaterialList(&list);
        MaterialListDeinitialize(&list);
        return bytes;
    }

    void ExpectRefused(const Bytes& bytes, const std::string& what)
    {
        const int64_t baseline = Live();
        TakeError();
        MaterialList list{};
        EXPECT_FALSE(ReadMaterialList(bytes, &list)) << what;
        EXPECT_EQ(list.count, 0) << what;
        EXPECT_NE(TakeError().code, kErrorNone) << what;
        EXPECT_EQ(Live(), baseline) << what;
    }
};

TEST_F(SceneMaterialRefused, EveryPrefixOfAList)
{
    Bytes bytes = ValidList();
    for (size_t length = 0; length < bytes.size(); ++length) {
        ExpectRefused(Bytes(bytes.begin(), bytes.begin() + length), "prefix " + std::to_string(length));
    }
}

TEST_F(SceneMaterialRefused, CorruptedIndicesAndCounts)
{
    const Bytes valid = ValidList();
    struct Case
    {
        const char* what;
        size_t offset;
        uint32_t value;
    } cases[] = {
        {"back-reference 3 at entry 1", 28 + 4, 3},
        {"back-reference to itself", 28 + 4, 1},
        {"index -2", 28 + 4, uint32_t(-2)},
        {"count over the struct", 24, 4},
        {"count of 2^30", 24, 1u << 30},
    };
    for (const Case& c : cases) {
        Bytes bytes = valid;
        PutU32(bytes, c.offset, c.value);
        ExpectRefused(bytes, c.what);
    }
}

} // namespace
