#include "world_fixture.h"

#include "ai/runtime/ais_reader.h"
#include "ai/runtime/ais_writer.h"
#include "ai/testhost/testclasses.h"
#include "graphics/core/stream.h"

#include <map>
#include <memory>

namespace Zelk {
namespace {

// Raw data for the writer: the bytes named by a node's value in a table.
using Blobs = std::map<std::string, std::vector<uint8_t>>;

bool FromTable(const CConfigNode* node, std::vector<uint8_t>* bytes, void* user)
{
    auto& blobs = *static_cast<Blobs*>(user);
    auto it = node->GetValue() ? blobs.find(node->GetValue()) : blobs.end();
    if (it == blobs.end()) {
        return false;
    }
    *bytes = it->second;
    return true;
}

std::vector<uint8_t> Pattern(std::size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(seed + i * 31);
    }
    return v;
}

std::string TreeText(const CConfigNode& node, bool withRawValues)
{
    std::string s = node.GetKey() ? node.GetKey() : "?";
    if (node.GetName()) {
        s += "\"" + std::string(node.GetName()) + "\"";
    }
    bool raw = node.GetKey() && std::string(node.GetKey()) == "RawData";
    if (node.GetValue() && (withRawValues || !raw)) {
        s += "=" + std::string(node.GetValue());
    }
    if (node.GetChildCount()) {
        s += "{";
        for (uint32_t i = 0; i < node.GetChildCount(); ++i) {
            s += (i ? "," : "") + TreeText(*node.GetChild(i), withRawValues);
        }
        s += "}";
    }
    return s;
}

const char* kFourBlocks = R"(<Data "d">
  <A "a"><RawData>zero</RawData><Size>10</Size></A>
  <RawData>one</RawData>
  <B "b"><C "c"><RawData>two</RawData><X>x</X></C></B>
  <RawData>three</RawData>
  <E><K>1</K><Empty></Empty></E>
</Data>)";

class AisTest : public WorldFixture
{
  protected:
    void SetUp() override
    {
        WorldFixture::SetUp();
        m_blobs = {{"zero", Pattern(10, 1)},
                   {"one", Pattern(5000, 2)},
                   {"two", Pattern(3, 3)},
                   {"three", Pattern(700, 4)}};
        m_textRoot = std::make_unique<CConfigNode>();
        ASSERT_TRUE(ParseConfigText(kFourBlocks, std::strlen(kFourBlocks), m_textRoot.get()));
        std::string error;
        ASSERT_TRUE(AisWriteTree(*m_textRoot, &FromTable, &m_blobs, &m_file, &error)) << error;
    }
    void TearDown() override
    {
        m_textRoot.reset(); // its memory came from the host
        WorldFixture::TearDown();
    }

    std::vector<const CConfigNode*> RawNodes(const CConfigNode& root)
    {
        std::vector<const CConfigNode*> nodes;
        CollectRawDataNodes(root, &nodes);
        return nodes;
    }

    std::vector<uint8_t> ReadBlock(CAisReader& reader, CConfigNode* node)
    {
        std::vector<uint8_t> bytes(reader.GetRawDataSize(node));
        uint32_t got = 0;
        while (got < bytes.size()) {
            uint32_t n = reader.ReadRawData(node, bytes.data() + got, 999);
            if (n == 0) {
                break;
            }
            got += n;
        }
        bytes.resize(got);
        return bytes;
    }

    Blobs m_blobs;
    std::unique_ptr<CConfigNode> m_textRoot;
    std::vector<uint8_t> m_file;
};

TEST_F(AisTest, WrittenTreeReadsBackEqual)
{
    CMemoryAisInput input(m_file.data(), m_file.size());
    CAisReader reader;
    CConfigNode root;
    ASSERT_TRUE(reader.Load(&input, &root)) << reader.GetLastError();
    EXPECT_EQ(TreeText(root, false), TreeText(*m_textRoot, false));
    EXPECT_EQ(root.FindChild("E")->GetName(), nullptr);
    EXPECT_STREQ(root.FindChild("E")->GetChildValue("Empty"), "");
    EXPECT_EQ(RawNodes(root).size(), 4u);
    EXPECT_EQ(root.GetChild(1)->GetRawData()->sequence, 1u);
    // The file starts with the magic and version 1, and chunks carry the system's stamp.
    EXPECT_EQ(std::string(m_file.begin(), m_file.begin() + 14), "OLAI .AIS FILE");
    EXPECT_EQ(m_file[14], 1);
    EXPECT_EQ(m_file[18 + 8], 0x16);
    EXPECT_EQ(m_file[18 + 11], 0x1C);
}

TEST_F(AisTest, BlocksOpenForwardSkipAndRefuseReopening)
{
    CMemoryAisInput input(m_file.data(), m_file.size());
    CAisReader reader;
    CConfigNode root;
    ASSERT_TRUE(reader.Load(&input, &root));
    auto nodes = RawNodes(root);
    auto* n0 = const_cast<CConfigNode*>(nodes[0]);
    auto* n1 = const_cast<CConfigNode*>(nodes[1]);
    auto* n2 = const_cast<CConfigNode*>(nodes[2]);
    auto* n3 = const_cast<CConfigNode*>(nodes[3]);

    ASSERT_TRUE(reader.OpenRawData(n0));
    EXPECT_EQ(reader.GetRawDataSize(n0), 10u);
    EXPECT_EQ(ReadBlock(reader, n0), m_blobs["zero"]);
    EXPECT_EQ(reader.ReadRawData(n0, m_file.data(), 10), 0u); // nothing left
    reader.CloseRawData(n0);

    // Opening block 2 skips block 1; a partly read block is skipped by Close.
    ASSERT_TRUE(reader.OpenRawData(n2));
    uint8_t first;
    EXPECT_EQ(reader.ReadRawData(n2, &first, 1), 1u);
    EXPECT_EQ(first, m_blobs["two"][0]);
    reader.CloseRawData(n2);

    // Block 1 was passed: refused, without consuming anything.
    uint32_t counter = reader.GetBlockCounter();
    EXPECT_FALSE(reader.OpenRawData(n1));
    EXPECT_FALSE(reader.OpenRawData(n0));
    EXPECT_EQ(reader.GetBlockCounter(), counter);

    ASSERT_TRUE(reader.OpenRawData(n3));
    EXPECT_EQ(ReadBlock(reader, n3), m_blobs["three"]);
    reader.CloseRawData(n3);
    EXPECT_FALSE(reader.OpenRawData(n3));
    EXPECT_FALSE(reader.OpenRawData(&root)); // no raw data
}

TEST_F(AisTest, InMemoryBlocksAreServedFromTheHostsBytes)
{
    CConfigNode root;
    static const uint8_t bytes[4] = {9, 8, 7, 6};
    CConfigNode* raw = AiAddRawDataConfig(&root, "mem", bytes, 4);
    ASSERT_NE(raw, nullptr);
    CAisReader reader;
    ASSERT_TRUE(reader.OpenRawData(raw));
    uint8_t out[8];
    EXPECT_EQ(reader.ReadRawData(raw, out, 3), 3u);
    EXPECT_EQ(reader.ReadRawData(raw, out + 3, 8), 1u);
    EXPECT_EQ(out[3], 6);
    reader.CloseRawData(raw);
}

struct BadFile
{
    const char* what;
    std::size_t offset;
    std::vector<uint8_t> bytes;
};

TEST_F(AisTest, RefusesWrongMagicVersionAndLeafSize)
{
    const BadFile cases[] = {
        {"wrong magic", 0, {'X'}},
        {"wrong version", 14, {2}},
        {"leaf of 255 bytes", 0, {}},
    };
    for (const BadFile& c : cases) {
        std::vector<uint8_t> file = m_file;
        if (std::string(c.what) == "leaf of 255 bytes") {
            // The first leaf: A's RawData marker comes first, so build a leaf-rooted file.
            CConfigNode leaf;
            leaf.SetKey("K");
            leaf.SetValue("v");
            ASSERT_TRUE(AisWriteTree(leaf, nullptr, nullptr, &file, nullptr));
            file[18 + 4] = 255;
        } else {
            std::copy(c.bytes.begin(), c.bytes.end(), file.begin() + c.offset);
        }
        CMemoryAisInput input(file.data(), file.size());
        CAisReader reader;
        CConfigNode root;
        EXPECT_FALSE(reader.Load(&input, &root)) << c.what;
        EXPECT_STRNE(reader.GetLastError(), "") << c.what;
    }
}

// As the text compiler: a leaf whose value reads whole as a number that is
// not a finite float is refused, naming the key, the value and the offset
// reached; a file cut short names the offset too.
TEST_F(AisTest, RefusesNonFiniteLeavesAndNamesTheOffset)
{
    const struct
    {
        const char* value;
        const char* error; // null: loads
    } cases[] = {
        {"nan", "<Distance> holds \"nan\", which is not a finite number at byte 286"},
        {" -inf ", "<Distance> holds \" -inf \", which is not a finite number at byte 286"},
        {"1e39", "<Distance> holds \"1e39\", which is not a finite number at byte 286"},
        {"3.4e38", nullptr},
        {"Infantry", nullptr},
    };
    for (const auto& c : cases) {
        CConfigNode leaf;
        leaf.SetKey("Distance");
        leaf.SetValue(c.value);
        std::vector<uint8_t> file;
        ASSERT_TRUE(AisWriteTree(leaf, nullptr, nullptr, &file, nullptr));
        CMemoryAisInput input(file.data(), file.size());
        CAisReader reader;
        CConfigNode root;
        EXPECT_EQ(reader.Load(&input, &root), c.error == nullptr) << c.value;
        EXPECT_STREQ(reader.GetLastError(), c.error ? c.error : "") << c.value;
    }
    std::vector<uint8_t> cut(m_file.begin(), m_file.begin() + 100);
    CMemoryAisInput input(cut.data(), cut.size());
    CAisReader reader;
    CConfigNode root;
    EXPECT_FALSE(reader.Load(&input, &root));
    EXPECT_STREQ(reader.GetLastError(), "truncated node at byte 100");
}

TEST_F(AisTest, LeafRootedFileLoadsOneNode)
{
    CConfigNode leaf;
    leaf.SetKey("Only");
    leaf.SetValue("value");
    std::vector<uint8_t> file;
    ASSERT_TRUE(AisWriteTree(leaf, nullptr, nullptr, &file, nullptr));
    CMemoryAisInput input(file.data(), file.size());
    CAisReader reader;
    CConfigNode root;
    ASSERT_TRUE(reader.Load(&input, &root));
    EXPECT_EQ(TreeText(root, true), "Only=value");
}

TEST_F(AisTest, OverlongStringsAreBoundedOnReadAndRefusedOnWrite)
{
    CConfigNode leaf;
    leaf.SetKey("K");
    leaf.SetValue(std::string(127, 'v').c_str());
    std::vector<uint8_t> file;
    ASSERT_TRUE(AisWriteTree(leaf, nullptr, nullptr, &file, nullptr));
    // Fill the value field's terminator too: the reader stops at 127 characters.
    file[18 + 12 + 128 + 127] = 'w';
    CMemoryAisInput input(file.data(), file.size());
    CAisReader reader;
    CConfigNode root;
    ASSERT_TRUE(reader.Load(&input, &root));
    EXPECT_EQ(std::string(root.GetValue()), std::string(127, 'v'));

    leaf.SetValue(std::string(128, 'v').c_str());
    std::string error;
    EXPECT_FALSE(AisWriteTree(leaf, nullptr, nullptr, &file, &error));
    EXPECT_NE(error.find("127"), std::string::npos);
}

TEST_F(AisTest, TruncatedFilesFailCleanlyKeepingWhatWasRead)
{
    std::size_t treeEnd = 0;
    {
        CMemoryAisInput input(m_file.data(), m_file.size());
        CAisReader reader;
        CConfigNode root;
        ASSERT_TRUE(reader.Load(&input, &root));
    }
    // Every cut inside the tree fails; cuts inside the blocks load the tree.
    for (std::size_t cut = 0; cut < m_file.size(); ++cut) {
        CMemoryAisInput input(m_file.data(), cut);
        CAisReader reader;
        CConfigNode root;
        bool ok = reader.Load(&input, &root);
        if (ok && treeEnd == 0) {
            treeEnd = cut;
        }
        EXPECT_EQ(ok, treeEnd != 0) << cut;
        if (ok) {
            // Blocks beyond the cut cannot be read in full.
            auto nodes = RawNodes(root);
            auto* last = const_cast<CConfigNode*>(nodes[3]);
            if (reader.OpenRawData(last)) {
                EXPECT_LE(ReadBlock(reader, last).size(), m_blobs["three"].size());
                reader.CloseRawData(last);
            }
        }
    }
    ASSERT_GT(treeEnd, 0u);
    // A cut right after A's subtree keeps the root and A.
    CMemoryAisInput input(m_file.data(), treeEnd - 200);
    CAisReader reader;
    CConfigNode root;
    EXPECT_FALSE(reader.Load(&input, &root));
    EXPECT_STREQ(root.GetKey(), "Data");
    ASSERT_GE(root.GetChildCount(), 1u);
    EXPECT_STREQ(root.GetChild(0)->GetKey(), "A");
}

TEST_F(AisTest, UnknownChunksAreSkippedBySize)
{
    // Splice an unknown chunk (type 0x777, 5 bytes) in as the root's first child.
    CConfigNode root;
    root.SetKey("R");
    AddConfigChild(&root, nullptr, "K", "1");
    AddConfigChild(&root, nullptr, "L", "2");
    std::vector<uint8_t> file;
    ASSERT_TRUE(AisWriteTree(root, nullptr, nullptr, &file, nullptr));
    std::size_t count = 18 + 12 + 12 + 256;
    file[count] = 3; // three children now
    std::vector<uint8_t> unknown = {0x77, 0x07, 0, 0, 5, 0, 0, 0, 0x16, 0, 2, 0x1C, 1, 2, 3, 4, 5};
    file.insert(file.begin() + count + 4, unknown.begin(), unknown.end());
    CMemoryAisInput input(file.data(), file.size());
    CAisReader reader;
    CConfigNode loaded;
    ASSERT_TRUE(reader.Load(&input, &loaded)) << reader.GetLastError();
    ASSERT_EQ(loaded.GetChildCount(), 3u);
    EXPECT_STREQ(loaded.GetChild(1)->GetValue(), "1");
    EXPECT_STREQ(loaded.GetChild(2)->GetValue(), "2");
}

TEST_F(AisTest, TooManyRawDataNodesFailTheLoad)
{
    CConfigNode root;
    root.SetKey("R");
    Blobs blobs;
    for (uint32_t i = 0; i <= kAiMaxRawDataHandles; ++i) {
        std::string name = "b" + std::to_string(i);
        blobs[name] = {uint8_t(i)};
        AddConfigChild(&root, nullptr, "RawData", name.c_str());
    }
    std::vector<uint8_t> file;
    ASSERT_TRUE(AisWriteTree(root, &FromTable, &blobs, &file, nullptr));
    CMemoryAisInput input(file.data(), file.size());
    CAisReader reader;
    CConfigNode loaded;
    EXPECT_FALSE(reader.Load(&input, &loaded));
    EXPECT_NE(std::string(reader.GetLastError()).find("handles"), std::string::npos);
}

TEST_F(AisTest, ConfigTextRoundTrips)
{
    std::string text, error;
    ASSERT_TRUE(WriteConfigText(*m_textRoot, &text, &error)) << error;
    CConfigNode again;
    ASSERT_TRUE(ParseConfigText(text.c_str(), text.size(), &again));
    EXPECT_EQ(TreeText(again, true), TreeText(*m_textRoot, true));
    CConfigNode bad;
    bad.SetKey("K");
    bad.SetValue("a<b");
    EXPECT_FALSE(WriteConfigText(bad, &text, &error));
}

// A world from an ".AIS" file whose services read their raw data in file order.
const char* kRawWorld = R"(<World "w">
  <MaxEntity>4</MaxEntity><OneMeter>1</OneMeter><Tpf>5</Tpf>
  <GlobalServices><Service>Second</Service><Service>First</Service><Service>Third</Service></GlobalServices>
  <Services>
    <Service "First"><Class>CTestGlobalService</Class><RawData>one</RawData></Service>
    <Service "Second"><Class>CTestGlobalService</Class><RawData>two</RawData></Service>
    <Service "Third"><Class>CTestGlobalService</Class><RawData>three</RawData></Service>
  </Services>
</World>)";

TEST_F(AisTest, WorldServicesReadRawDataAndOutOfOrderListsWarn)
{
    CConfigNode text;
    ASSERT_TRUE(ParseConfigText(kRawWorld, std::strlen(kRawWorld), &text));
    std::vector<uint8_t> file;
    ASSERT_TRUE(AisWriteTree(text, &FromTable, &m_blobs, &file, nullptr));
    CMemoryAisInput input(file.data(), file.size());
    CAisReader* reader = AiGetAisReader();
    CConfigNode* root = new CConfigNode;
    ASSERT_TRUE(reader->Load(&input, root));
    CWorld* world = AiCreateWorld(root, 0);
    ASSERT_NE(world, nullptr);
    // "Second" read block 1 (skipping block 0); "First" then found its block passed.
    ASSERT_EQ(world->GetGlobalServiceCount(), 2u);
    auto* second = static_cast<CTestGlobalService*>(world->GetGlobalService(0));
    auto* third = static_cast<CTestGlobalService*>(world->GetGlobalService(1));
    EXPECT_EQ(second->GetRawSize(), m_blobs["two"].size());
    EXPECT_EQ(third->GetRawSize(), m_blobs["three"].size());
    uint32_t sum = 0;
    for (uint8_t b : m_blobs["three"]) {
        sum += b;
    }
    EXPECT_EQ(third->GetRawSum(), sum);
    ASSERT_GE(m_warnings.size(), 1u);
    EXPECT_NE(m_warnings[0].find("\"First\" reads raw-data block 0 after \"Second\""), std::string::npos);
    EXPECT_EQ(AiDestroyWorld(world), 1);
    delete root;
}

} // namespace
} // namespace Zelk

namespace Zelk {
namespace {

TEST_F(AisTest, LoadsThroughTheEnginesStream)
{
    StreamMemory memory{m_file.data(), m_file.size()};
    Stream stream{};
    ASSERT_NE(StreamInit(&stream, false, kStreamMemory, kStreamRead, &memory), nullptr);
    CConfigNode* root = AiLoadConfigStream(&stream);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(TreeText(*root, false), TreeText(*m_textRoot, false));
    // The raw data is read through the same stream afterwards.
    auto nodes = RawNodes(*root);
    CAisReader* reader = AiGetAisReader();
    auto* last = const_cast<CConfigNode*>(nodes[3]);
    ASSERT_TRUE(reader->OpenRawData(last));
    EXPECT_EQ(ReadBlock(*reader, last), m_blobs["three"]);
    reader->CloseRawData(last);
    AiDeleteConfigNode(root);
    StreamClose(&stream, nullptr);

    // A stream that is not an ".AIS" file gives an empty node.
    uint8_t junk[20] = {'n', 'o', 't'};
    StreamMemory other{junk, sizeof junk};
    ASSERT_NE(StreamInit(&stream, false, kStreamMemory, kStreamRead, &other), nullptr);
    CConfigNode* empty = AiLoadConfigStream(&stream);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetKey(), nullptr);
    EXPECT_EQ(empty->GetChildCount(), 0u);
    AiDeleteConfigNode(empty);
    StreamClose(&stream, nullptr);
}

} // namespace
} // namespace Zelk
