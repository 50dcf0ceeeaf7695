// SPDX-License-Identifier: Apache-2.0
// Normal and dimmed looks of fields and labels, and the keyboard focus they
// move.
#include <gtest/gtest.h>

#include <memory>

#include "pde/JC.h"
#include "platform/controls.h"

namespace {

class HiliteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto root = std::make_shared<platform::View>();
    auto makeField = [&](std::int64_t tag) {
      auto f = std::make_shared<platform::TextField>();
      f->setTag(tag);
      f->setStringValue("text");
      root->addSubview(f);
      return f.get();
    };
    input = makeField(7);
    other = makeField(8);
    label = makeField(0);
    label->setEditable(false);
    window.setContentView(root);
  }

  platform::Window window;
  platform::TextField* input = nullptr;
  platform::TextField* other = nullptr;
  platform::TextField* label = nullptr;
};

TEST_F(HiliteTest, InputFieldDimmedAndNormal) {
  myJCHilite(input, true);
  EXPECT_FALSE(input->isEditable());
  EXPECT_FALSE(input->isSelectable());
  EXPECT_EQ(input->textColor(), platform::Color::Grey);
  EXPECT_EQ(input->stringValue(), "text");

  myJCHilite(input, false);
  EXPECT_TRUE(input->isEditable());
  EXPECT_TRUE(input->isSelectable());
  EXPECT_EQ(input->textColor(), platform::Color::Black);
  EXPECT_EQ(window.firstResponder(), input);
  EXPECT_EQ(input->stringValue(), "text");
}

TEST_F(HiliteTest, DimmingAnyFieldDropsTheFocusEvenWhenAlreadyDimmed) {
  myJCHilite(other, true);
  window.makeFirstResponder(input);
  // `other` was dimmed before; dimming it again still clears the focus that
  // `input` held.
  myJCHilite(other, true);
  EXPECT_EQ(window.firstResponder(), nullptr);
}

TEST_F(HiliteTest, LabelsOnlyChangeColourAndNeverTouchTheFocus) {
  window.makeFirstResponder(input);
  myJCHilite(label, true);
  EXPECT_EQ(label->textColor(), platform::Color::Grey);
  EXPECT_FALSE(label->isEditable());
  EXPECT_TRUE(label->isSelectable());
  EXPECT_EQ(window.firstResponder(), input);

  window.makeFirstResponder(nullptr);
  myJCHilite(label, false);
  EXPECT_EQ(label->textColor(), platform::Color::Black);
  EXPECT_FALSE(label->isEditable());
  EXPECT_EQ(window.firstResponder(), nullptr);
}

TEST(HiliteWithoutWindowTest, NullFieldAndFieldOutsideAWindow) {
  myJCHilite(nullptr, true);
  myJCHilite(nullptr, false);
  platform::TextField loose;
  loose.setTag(3);
  myJCHilite(&loose, false);
  EXPECT_TRUE(loose.isEditable());
  myJCHilite(&loose, true);
  EXPECT_FALSE(loose.isEditable());
}

}  // namespace
