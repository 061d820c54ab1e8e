// The help window: opened modal from the main window, its links shown, opened and copied.
#include <gtest/gtest.h>

#include "app/help_form.h"
#include "program_fixture.h"

namespace korvane {
namespace {

struct HelpWindow : testing::Test {
  HelpWindow() {
    program.files.AddDrive('C', {1'000, 500});
    program.toolkit.Open();
  }
  void OpenHelp() {
    ASSERT_TRUE(program.toolkit.Click(Control::帮助按钮));
    program.toolkit.RunPending();
    ASSERT_TRUE(program.toolkit.IsWindowLoaded(Window::HelpWindow));
  }
  Program program;
};

TEST_F(HelpWindow, OpensOverTheMainWindowWhichLeavesTheTopForGood) {
  HeadlessToolkit& window = program.toolkit;
  window.SetAlwaysOnTop(true);
  OpenHelp();
  EXPECT_FALSE(window.GetAlwaysOnTop());
  EXPECT_EQ(window.GetText(Control::B站框), kBilibiliLink);
  EXPECT_EQ(window.GetText(Control::西瓜框), kXiguaLink);
  EXPECT_EQ(window.GetWindowBounds(Window::HelpWindow), (Bounds{50, 50, 772, 305}));

  // Modal: the main window takes no input while help is open.
  EXPECT_FALSE(window.Click(Control::比对按钮));
  EXPECT_FALSE(window.SelectItem(Control::盘符框, 0));
  EXPECT_FALSE(window.RequestClose());
  window.RunPending();
  EXPECT_EQ(window.GetText(Control::状态框), " 空闲中");
  EXPECT_FALSE(window.exitCode());

  window.CloseHelpWindow();
  EXPECT_FALSE(window.IsWindowLoaded(Window::HelpWindow));
  EXPECT_EQ(window.GetText(Control::B站框), "");  // its controls went with it
  EXPECT_FALSE(window.GetAlwaysOnTop());
  EXPECT_TRUE(window.SelectItem(Control::盘符框, 0));
  EXPECT_TRUE(window.RequestClose());
  window.RunPending();
  EXPECT_EQ(window.exitCode(), 0);
}

TEST_F(HelpWindow, TheButtonsOpenAndTheFieldsCopyTheFixedLinksWhateverWasTyped) {
  HeadlessToolkit& window = program.toolkit;
  OpenHelp();
  ASSERT_TRUE(window.TypeText(Control::B站框, "typed over"));
  ASSERT_TRUE(window.TypeText(Control::西瓜框, "typed over"));
  for (int time = 0; time < 2; ++time) {
    ASSERT_TRUE(window.MouseUp(Control::B站框));
    window.RunPending();
    EXPECT_EQ(window.ClipboardText(), kBilibiliLink);
    ASSERT_TRUE(window.MouseUp(Control::西瓜框));
    window.RunPending();
    EXPECT_EQ(window.ClipboardText(), kXiguaLink);
  }
  // The usage text is no link.
  window.SetClipboardText("kept");
  window.MouseUp(Control::报告框);
  window.RunPending();
  EXPECT_EQ(window.ClipboardText(), "kept");

  window.Click(Control::访问Bilibili);
  window.Click(Control::访问西瓜视频);
  window.RunPending();
  EXPECT_EQ(program.files.shellRequests,
            (std::vector<std::string>{"open " + std::string(kBilibiliLink), "open " + std::string(kXiguaLink)}));
}

TEST_F(HelpWindow, OpensAnewEachTime) {
  HeadlessToolkit& window = program.toolkit;
  OpenHelp();
  window.TypeText(Control::B站框, "typed over");
  window.CloseHelpWindow();
  OpenHelp();
  EXPECT_EQ(window.GetText(Control::B站框), kBilibiliLink);
}

TEST(HelpForm, TheUsageTextHasItsHeadingsAndLines) {
  const WindowForm& form = HelpWindowForm();
  EXPECT_EQ(form.title, "使用说明");
  const std::string& usage = form.controls.front().text;
  EXPECT_EQ(form.controls.front().name, Control::报告框);
  EXPECT_TRUE(usage.starts_with("\r\n    "));
  for (const char* line : {"\r\n    功能与用法：\r\n", "\r\n    注意事项：\r\n",
                           "\r\n    本程序支持在winxp至win11所有系统上运行。\r\n",
                           "\r\n    程序仅有查询功能，没有任何删除文件夹及文件的功能。\r\n"}) {
    EXPECT_NE(usage.find(line), std::string::npos) << line;
  }
  // Every line of prose is indented by four spaces.
  for (size_t start = 0; start < usage.size();) {
    const size_t end = usage.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    if (end > start) {
      EXPECT_EQ(usage.substr(start, 4), "    ") << usage.substr(start, end - start);
    }
    start = end + 2;
  }
}

}  // namespace
}  // namespace korvane
