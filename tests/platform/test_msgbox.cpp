#include <gtest/gtest.h>

#include "win/win.h"

namespace {

using morva::platform::MessageBoxRecord;

class MessageBoxes : public ::testing::Test {
 protected:
  void TearDown() override { morva::platform::reset_message_boxes(); }
};

TEST_F(MessageBoxes, UnscriptedBoxesTakeTheDefaultButton) {
  struct Case {
    UINT style;
    INT answer;
  } cases[] = {
      {MB_OK, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_YESNO | MB_ICONWARNING, IDYES},
      {MB_YESNO | MB_DEFBUTTON2, IDNO},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
      {MB_RETRYCANCEL, IDRETRY},
      {MB_CANCELTRYCONTINUE | MB_DEFBUTTON3, IDCONTINUE},
      {MB_OKCANCEL | MB_DEFBUTTON4, IDOK},  // no fourth button: the first
  };
  for (const auto& c : cases) EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", c.style), c.answer) << c.style;
  EXPECT_EQ(morva::platform::message_box_log().size(), std::size(cases));
}

TEST_F(MessageBoxes, ScriptThenHandlerThenDefault) {
  morva::platform::script_message_box_answers({IDNO, 0});
  int handled = 0;
  morva::platform::set_message_box_handler([&](const MessageBoxRecord& r) {
    ++handled;
    return r.text == u"third" ? IDCANCEL : 0;
  });
  EXPECT_EQ(MessageBoxW(nullptr, u"first", u"Printer", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, u"second", u"Printer", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, u"third", u"Printer", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, u"fourth", nullptr, MB_OKCANCEL), IDOK);
  EXPECT_EQ(handled, 2);

  auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].caption, u"Printer");
  EXPECT_EQ(log[0].text, u"first");
  EXPECT_EQ(log[0].style, MB_YESNO);
  EXPECT_EQ(log[2].answer, IDCANCEL);
  EXPECT_EQ(log[3].caption, u"Error");  // a null caption shows "Error"
}

}  // namespace
