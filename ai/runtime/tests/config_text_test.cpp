#include "ai/runtime/config_node.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/text_config.h"
#include "ai/testhost/testhost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace Zelk {
namespace {

// Renders a tree as one line: key"name"=value{children}.
std::string Dump(const CConfigNode& node)
{
    std::string s = node.GetKey() ? node.GetKey() : "?";
    if (node.GetName()) {
        s += "\"" + std::string(node.GetName()) + "\"";
    }
    if (node.GetValue()) {
        s += "=[" + std::string(node.GetValue()) + "]";
    }
    if (node.GetChildCount()) {
        s += "{";
        for (uint32_t i = 0; i < node.GetChildCount(); ++i) {
            s += (i ? "," : "") + Dump(*node.GetChild(i));
        }
        s += "}";
    }
    return s;
}

struct GoodCase
{
    const char* text;
    const char* tree;
};

TEST(ConfigTextTest, ParsesGoodSources)
{
    const GoodCase cases[] = {
        {"<W \"M\"><K>20</K></W>", "W\"M\"{K=[20]}"},
        {"junk before <W><K \"leafname\">v</K></W> \r\n", "W{K=[v]}"},
        {"<W><K>  spaced  </K></W>", "W{K=[  spaced  ]}"},
        {"<W><K></K></W>", "W{K=[]}"},
        {"<Root>\r\n  <Entities>\r\n    <Entity \"Guard\">\r\n      <Class>CDefault</Class>\r\n"
         "    </Entity>\r\n  </Entities>\r\n</Root>\r\n",
         "Root{Entities{Entity\"Guard\"{Class=[CDefault]}}}"},
        {"<W>\n<A \"x\"><B>1</B></A>\n<A \"y\"><B>2</B><C>3</C></A>\n</W>",
         "W{A\"x\"{B=[1]},A\"y\"{B=[2],C=[3]}}"},
        {"<Leaf>only text</Leaf>", "Leaf=[only text]"},
        {"<W\t\"tab name\"><K>1</K></W>", "W\"tab name\"{K=[1]}"},
    };
    for (const GoodCase& c : cases) {
        CConfigNode root;
        CConfigError error;
        EXPECT_TRUE(ParseConfigText(c.text, std::strlen(c.text), &root, &error))
            << c.text << ": " << error.message;
        EXPECT_EQ(Dump(root), c.tree) << c.text;
    }
}

struct BadCase
{
    const char* text;
    int line;
    const char* reason; // a word of the message
};

TEST(ConfigTextTest, RefusesBadSourcesNamingTheLine)
{
    const BadCase cases[] = {
        {"", 1, "ends"},
        {"no tags at all", 1, "ends"},
        {"<W>\n<K>1</K>\n<L>2</M>\n</W>", 3, "does not match"},
        {"<W>\n<K>1</K>\n", 1, "<W>, which is never closed"},
        {"<W>\n<K>\n<L>1</L>\n", 2, "<K>, which is never closed"},
        {"<W>\n<K>nan</K>\n</W>", 2, "not a finite number"},
        {"<W>\n<K> -inf </K>\n</W>", 2, "not a finite number"},
        {"<W>\n<K>1e999</K>\n</W>", 2, "not a finite number"},
        {"<W>\n<K>1e39</K>\n</W>", 2, "not a finite number"}, // beyond a 32-bit float
        {"<W>\n<K>1</K>\n</W>\n<X>2</X>\n", 4, "after the root"},
        {"<W>\n<K>1</K>\n</W>\ntrailing words", 4, "after the root"},
        {"<W>\n<K>1</K\n", 2, "'>'"},
        {"<W>\n\n<K \"unterminated>1</K>\n</W>", 3, "closing"},
        {"<W>\n< \"x\">1</ >\n</W>", 2, "key"},
        {"</W>", 1, "before any element"},
    };
    for (const BadCase& c : cases) {
        CConfigNode root;
        CConfigError error;
        EXPECT_FALSE(ParseConfigText(c.text, std::strlen(c.text), &root, &error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(std::string(error.message).find(c.reason), std::string::npos)
            << c.text << ": " << error.message;
    }
}

TEST(ConfigTextTest, AnEmptyTextWithoutABufferIsRefused)
{
    // An empty file read into an empty vector gives no buffer at all.
    CConfigNode root;
    CConfigError error;
    EXPECT_FALSE(ParseConfigText(nullptr, 0, &root, &error));
    EXPECT_EQ(error.line, 1);
    EXPECT_NE(std::string(error.message).find("ends before its root"), std::string::npos) << error.message;
}

TEST(ConfigTextTest, NulBytesAreRefusedNotCut)
{
    const std::string text("<W>\n<K>ab\0cd</K>\n</W>", 21);
    CConfigNode root;
    CConfigError error;
    EXPECT_FALSE(ParseConfigText(text.data(), text.size(), &root, &error));
    EXPECT_EQ(error.line, 2);
    EXPECT_NE(std::string(error.message).find("NUL"), std::string::npos) << error.message;
    // Names and words that merely start like a number stay values.
    const char good[] = "<W><K>Infantry</K><L>nano</L><M>12 m</M></W>";
    EXPECT_TRUE(ParseConfigText(good, sizeof good - 1, &root, &error)) << error.message;
}

TEST(ConfigTextTest, KeysAndNamesHaveLimits)
{
    std::string key63(63, 'k'), key64(64, 'k');
    std::string name511(511, 'n'), name512(512, 'n');
    auto parse = [](const std::string& text) {
        CConfigNode root;
        return ParseConfigText(text.c_str(), text.size(), &root);
    };
    EXPECT_TRUE(parse("<" + key63 + "><a>1</a></" + key63 + ">"));
    EXPECT_FALSE(parse("<" + key64 + "><a>1</a></" + key64 + ">"));
    EXPECT_TRUE(parse("<W \"" + name511 + "\"><a>1</a></W>"));
    EXPECT_FALSE(parse("<W \"" + name512 + "\"><a>1</a></W>"));

    std::string big = "<W><a>" + std::string(65536, 'x') + "</a></W>";
    CConfigError error;
    CConfigNode root;
    EXPECT_FALSE(ParseConfigText(big.c_str(), big.size(), &root, &error));
    EXPECT_NE(std::string(error.message).find("65536"), std::string::npos);
}

TEST(ConfigTextTest, MismatchLeavesThePartialTree)
{
    const char* text = "<W><A>1</A><B>2</C></W>";
    CConfigNode root;
    EXPECT_FALSE(ParseConfigText(text, std::strlen(text), &root));
    EXPECT_EQ(Dump(root), "W{A=[1],B}");
}

TEST(ConfigNodeTest, LookupsCopiesAndRemoval)
{
    CConfigNode root;
    AddConfigChild(&root, "first", "Service", nullptr);
    CConfigNode* second = AddConfigChild(&root, "second", "Service", nullptr);
    AddConfigChild(second, nullptr, "Class", "CThing");
    AddConfigChild(&root, nullptr, "MaxEntity", "12");

    EXPECT_EQ(root.FindChild("Service")->GetName(), std::string("first"));
    EXPECT_EQ(root.FindNamedChild("Service", "second"), second);
    EXPECT_EQ(root.FindNamedChild("Service", nullptr), nullptr);
    EXPECT_EQ(root.FindChild(nullptr), nullptr);
    EXPECT_EQ(root.FindChildByName("second"), second);
    EXPECT_EQ(ConfigToInt(root.GetChildValue("MaxEntity")), 12);
    EXPECT_EQ(root.GetChild(3), nullptr);

    CRawDataHandle handle{};
    second->SetRawData(&handle, 7);
    CConfigNode copy(root);
    EXPECT_EQ(Dump(copy), Dump(root));
    EXPECT_EQ(copy.GetChild(1)->GetRawData(), &handle); // shared, not copied
    copy = copy;                                        // self-assignment keeps the tree
    EXPECT_EQ(Dump(copy), Dump(root));

    copy.RemoveChild(copy.GetChild(0));
    EXPECT_EQ(copy.GetChildCount(), 2u);
    EXPECT_EQ(copy.GetChild(0)->GetName(), std::string("second"));
    copy.RemoveChild(second); // not a child of the copy
    EXPECT_EQ(copy.GetChildCount(), 2u);
}

TEST(ConfigNodeTest, NumbersAreReadInTheCLocale)
{
    EXPECT_FLOAT_EQ(ConfigToFloat("2.5"), 2.5f);
    EXPECT_FLOAT_EQ(ConfigToFloat(nullptr, 7.0f), 7.0f);
    EXPECT_FLOAT_EQ(ConfigToFloat("nan", 7.0f), 7.0f);
    EXPECT_FLOAT_EQ(ConfigToFloat("inf", 7.0f), 7.0f);
    EXPECT_TRUE(ConfigIsNonFiniteNumber(" NaN "));
    EXPECT_TRUE(ConfigIsNonFiniteNumber("1e39")) << "infinite as a 32-bit float";
    EXPECT_FALSE(ConfigIsNonFiniteNumber("3.4e38"));
    EXPECT_FALSE(ConfigIsNonFiniteNumber("Infantry"));
    EXPECT_FALSE(ConfigIsNonFiniteNumber("2.5"));
    EXPECT_EQ(ConfigToInt("-3"), -3);
}

class TextSourceTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        AiHostInterface block;
        m_host.Fill(block);
        ASSERT_EQ(AiEngineInitialize(&block), 1);
    }
    void TearDown() override { AiEngineTerminate(); }

    std::string Write(const char* name, const std::string& bytes)
    {
        std::string path = std::string(OLAI_TEST_OUTPUT_DIR) + "/" + name;
        std::string mk = std::string("mkdir -p ") + OLAI_TEST_OUTPUT_DIR;
        EXPECT_EQ(std::system(mk.c_str()), 0);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }
    CTestHost m_host;
};

TEST_F(TextSourceTest, LoadsAFileWithWindowsLineEndsAndReadsRawData)
{
    std::string blob(3000, '\0');
    for (std::size_t i = 0; i < blob.size(); ++i) {
        blob[i] = static_cast<char>(i * 7);
    }
    std::string blobPath = Write("blob.bin", blob);
    std::string text = "<World \"w\">\r\n<OneMeter>1.5</OneMeter>\r\n<Data>\r\n<RawData>" + blobPath +
                       "</RawData>\r\n</Data>\r\n</World>\r\n";
    std::string path = Write("world.txt", text);

    CTextConfigSource source;
    CConfigNode root;
    ASSERT_TRUE(source.Load(path.c_str(), &root)) << source.GetLastError().message;
    EXPECT_STREQ(root.GetChildValue("OneMeter"), "1.5");
    CConfigNode* raw = root.FindChild("Data")->FindChild("RawData");
    ASSERT_NE(raw, nullptr);
    ASSERT_TRUE(source.OpenRawData(raw));
    EXPECT_EQ(source.GetRawDataSize(raw), blob.size());
    std::string got(blob.size() + 10, 'z');
    uint32_t n1 = source.ReadRawData(raw, got.data(), 1000);
    uint32_t n2 = source.ReadRawData(raw, got.data() + n1, 5000);
    EXPECT_EQ(n1 + n2, blob.size());
    EXPECT_EQ(source.ReadRawData(raw, got.data(), 10), 0u);
    got.resize(blob.size());
    EXPECT_EQ(got, blob);
    source.CloseRawData(raw);
    EXPECT_EQ(source.ReadRawData(raw, got.data(), 10), 0u);
}

TEST_F(TextSourceTest, RefusesMissingEmptyAndMalformedFiles)
{
    CTextConfigSource source;
    CConfigNode root;
    EXPECT_FALSE(source.Load("/nonexistent/file.txt", &root));
    EXPECT_FALSE(source.Load(Write("empty.txt", "").c_str(), &root));
    EXPECT_EQ(root.GetKey(), nullptr); // unchanged
    EXPECT_FALSE(source.Load(Write("bad.txt", "<W>\n<K>1</L>\n</W>").c_str(), &root));
    EXPECT_EQ(source.GetLastError().line, 2);

    CConfigNode noValue;
    EXPECT_FALSE(source.OpenRawData(&noValue));
    CConfigNode missing;
    missing.SetValue("/nonexistent/blob.bin");
    EXPECT_FALSE(source.OpenRawData(&missing));
}

} // namespace
} // namespace Zelk
