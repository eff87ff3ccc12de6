#include "ai/runtime/class_record.h"
#include "ai/runtime/config_node.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace Zelk {
namespace {

struct Widget
{
    int made_by;
};

struct WidgetKind
{
    using Creator = Widget* (*)();
};
using CWidgetRecord = TClassRecord<WidgetKind>;

Widget* MakeOne()
{
    return new Widget{1};
}
Widget* MakeTwo()
{
    return new Widget{2};
}

// Creation by the name under "Class", as the runtime creates every object.
std::unique_ptr<Widget> CreateFromConfig(const CConfigNode& node)
{
    CWidgetRecord* record = CWidgetRecord::Find(node.GetChildValue("Class"));
    if (!record || !record->GetCreator()) {
        return nullptr;
    }
    return std::unique_ptr<Widget>(record->GetCreator()());
}

class ClassRecordTest : public ::testing::Test
{
  protected:
    void SetUp() override { ClassRegistry<WidgetKind>().Reset(); }
    void TearDown() override { ClassRegistry<WidgetKind>().Reset(); }
};

TEST_F(ClassRecordTest, CreatesByNameAndRefusesUnknownOrAbstractClasses)
{
    CWidgetRecord base("CWidget", nullptr);
    CWidgetRecord one("CWidgetOne", &MakeOne, &base);
    EXPECT_EQ(base.GetIndex(), 0);
    EXPECT_EQ(one.GetIndex(), 1);

    CConfigNode node;
    AddConfigChild(&node, nullptr, "Class", "CWidgetOne");
    auto made = CreateFromConfig(node);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->made_by, 1);

    for (const char* name : {"CWidget", "cwidgetone", "CWidgetOn", "Nope"}) {
        CConfigNode other;
        AddConfigChild(&other, nullptr, "Class", name);
        EXPECT_EQ(CreateFromConfig(other), nullptr) << name;
    }
    CConfigNode noClass;
    EXPECT_EQ(CreateFromConfig(noClass), nullptr);

    EXPECT_TRUE(one.IsA(&base));
    EXPECT_TRUE(one.IsA(&one));
    EXPECT_FALSE(base.IsA(&one));
}

TEST_F(ClassRecordTest, SecondRecordOfTheSameNameTakesTheSlot)
{
    CWidgetRecord other("COther", &MakeOne);
    CWidgetRecord first("CWidget", &MakeOne);
    CWidgetRecord second("CWidget", &MakeTwo);
    EXPECT_EQ(second.GetIndex(), first.GetIndex());
    EXPECT_EQ(CWidgetRecord::GetCount(), 2);
    EXPECT_EQ(CWidgetRecord::Find("CWidget"), &second);
}

TEST_F(ClassRecordTest, NamesUpTo255CharactersAreStoredWholeLongerOnesRefused)
{
    std::string exact(255, 'a');
    std::string longer(256, 'b');
    CWidgetRecord ok(exact.c_str(), &MakeOne);
    CWidgetRecord refused(longer.c_str(), &MakeOne);
    EXPECT_EQ(ok.GetName(), exact);
    EXPECT_GE(ok.GetIndex(), 0);
    EXPECT_EQ(refused.GetIndex(), -1);
    EXPECT_EQ(CWidgetRecord::Find(longer.c_str()), nullptr);
    EXPECT_EQ(CWidgetRecord::Find(longer.substr(0, 255).c_str()), nullptr);
}

TEST_F(ClassRecordTest, FullRegistryRefusesThe257thRecord)
{
    std::vector<std::unique_ptr<CWidgetRecord>> records;
    for (int i = 0; i < CClassRegistry::kCapacity + 1; ++i) {
        records.push_back(std::make_unique<CWidgetRecord>(("C" + std::to_string(i)).c_str(), &MakeOne));
    }
    EXPECT_EQ(records[255]->GetIndex(), 255);
    EXPECT_EQ(records[256]->GetIndex(), -1);
    EXPECT_EQ(CWidgetRecord::Find("C256"), nullptr);
    EXPECT_EQ(CWidgetRecord::Find("C255"), records[255].get());
}

TEST_F(ClassRecordTest, DestroyedRecordIsNoLongerFound)
{
    {
        CWidgetRecord gone("CGone", &MakeOne);
        EXPECT_NE(CWidgetRecord::Find("CGone"), nullptr);
    }
    EXPECT_EQ(CWidgetRecord::Find("CGone"), nullptr);
}

TEST(ClassBitsTest, ThirtyOneBitsThenZero)
{
    CClassBits bits;
    EXPECT_EQ(bits.GetMask(), 1u);
    for (int i = 1; i <= 31; ++i) {
        EXPECT_EQ(bits.Next(), 1u << i);
    }
    EXPECT_EQ(bits.Next(), 0u);
    EXPECT_EQ(bits.Next(), 0u);
    bits.AddToMask(0);
    EXPECT_EQ(bits.GetMask(), 1u);
}

} // namespace
} // namespace Zelk
