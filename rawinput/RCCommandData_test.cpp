#include "rawinput/RCCommandData.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(RCCommandData, ABindingIsReadFromItsXmlForm) {
  RCCommandData binding;
  ASSERT_TRUE(binding.FromXml(
      ZrString(u"<XMLPH version=\"1.0\">\r\n<Item Name=\"TriggerCode\">HID 045E 006D 0D</Item>\r\n"
               u"<Item Name=\"GenerateRepeats\">1</Item>\r\n<Item Name=\"Command\">Next</Item>\r\n</XMLPH>"),
      RCCommandData::kRootTag, 1.0));
  ZrString trigger;
  binding.GetString(trigger, RCCommandData::kTriggerCode);
  EXPECT_EQ(trigger.ToUtf8(), "HID 045E 006D 0D");
  EXPECT_EQ(binding.GetInt(RCCommandData::kGenerateRepeats, 0), 1);

  // Properties the plug-in does not read are written back unchanged.
  ZrString text;
  binding.ToXml(text, RCCommandData::kRootTag, false, 1.0);
  RCCommandData again;
  ASSERT_TRUE(again.FromXml(text, RCCommandData::kRootTag, 1.0));
  EXPECT_TRUE(again.IsEqual(binding));
  EXPECT_EQ(again.GetCount(), 3);
}

TEST(RCCommandData, MissingPropertiesReadAsNoTriggerAndNoRepeats) {
  RCCommandData binding;
  ASSERT_TRUE(binding.FromXml(ZrString(u"<XMLPH version=\"1.0\"></XMLPH>"), RCCommandData::kRootTag, 1.0));
  ZrString trigger(u"old");
  binding.GetString(trigger, RCCommandData::kTriggerCode);
  EXPECT_TRUE(trigger.IsEmpty());
  EXPECT_EQ(binding.GetInt(RCCommandData::kGenerateRepeats, 0), 0);
  for (const char16_t* text : {u"<ZRIR version=\"1.0\"></ZRIR>", u"<XMLPH version=\"1.5\"></XMLPH>", u"<XMLPH/"}) {
    EXPECT_FALSE(binding.FromXml(ZrString(text), RCCommandData::kRootTag, 1.0)) << ZrString(text).ToUtf8();
  }
}

// A binding is owned through the property map it extends; deleting it there must run every
// destructor down to the most derived one.
TEST(RCCommandData, DeletingThroughThePropertyMapRunsTheDerivedDestructors) {
  struct CountedBinding : RCCommandData {
    explicit CountedBinding(int& destroyed) : m_destroyed(destroyed) {}
    ~CountedBinding() override { ++m_destroyed; }
    int& m_destroyed;
  };
  int destroyed = 0;
  std::unique_ptr<ZrPropertyMap> map = std::make_unique<CountedBinding>(destroyed);
  map->SetString(u"TriggerCode", ZrString(u"x"));
  map.reset();
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
