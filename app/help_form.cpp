// The help window: the usage text, the two links and their buttons.
#include "app/help_form.h"

namespace korvane {
namespace {

constexpr char kUsageText[] =
    "\r\n"
    "    本工具为作者自制的小程序，完全免费，任何人都可以自由使用、复制和传播。\r\n"
    "\r\n"
    "    功能与用法：\r\n"
    "    电脑安装和运行的各种程序会留下大量缓存，日积月累占满系统盘，使系统变慢甚至出错。本程序在系统健康"
    "的状态下把系统的文件结构记录为快照；当可用空间变少时，快速比对当前系统与快照，帮你找出占用大量空间的目录，"
    "让你知道该清理哪里。\r\n"
    "    你可以为自己健康的系统保存快照，留待日后比对；也可以直接与程序内置的11个Windows系统快照比对。这些快照"
    "都取自全新安装后的系统，未装驱动，也未安装其他任何程序，因此比对结果相当准确。\r\n"
    "\r\n"
    "    注意事项：\r\n"
    "    本程序支持在winxp至win11所有系统上运行。\r\n"
    "    程序仅有查询功能，没有任何删除文件夹及文件的功能。\r\n"
    "    查询结果仅作为清理的参考，并非删除清单。请逐一查看找到的路径，自行决定如何处理；因用户删除文件或"
    "文件夹造成的任何后果，作者概不负责。\r\n";

}  // namespace

const WindowForm& HelpWindowForm() {
  using enum Control;
  using enum ControlKind;
  static const WindowForm form{
      "使用说明",
      {50, 50, 772, 305},
      {
          {报告框, multiLineField, {11, 12, 742, 188}, kUsageText, {}, {}, std::nullopt},
          {B站框, editField, {11, 213, 270, 22}, "", {}, {}, std::nullopt},
          {访问Bilibili, button, {286, 212, 90, 24}, "访问Bilibili", {}, {}, std::nullopt},
          {西瓜框, editField, {387, 213, 270, 22}, "", {}, {}, std::nullopt},
          {访问西瓜视频, button, {663, 212, 90, 24}, "访问西瓜视频", {}, {}, std::nullopt},
          {帮助标签1, label, {12, 249, 750, 16},
           "程序详细用法详见以上视频链接，欢迎关注原创短视频作者“Lumetsa”，你的关注是我创作的动力，希望持续为大家带来"
           "更多实用工具。",
           {}, {}, std::nullopt},
      }};
  return form;
}

void OpenHelpWindow(ProgramContext& context) {
  context.toolkit.SetAlwaysOnTop(false);
  context.toolkit.LoadWindow(Window::HelpWindow, Window::MainWindow, true);
}

void HandleHelpWindowEvent(ProgramContext& context, const Event& event) {
  WindowToolkit& toolkit = context.toolkit;
  switch (event.kind) {
    case EventKind::created:
      toolkit.SetText(Control::B站框, kBilibiliLink);
      toolkit.SetText(Control::西瓜框, kXiguaLink);
      return;
    case EventKind::clicked:
      if (event.control == Control::访问Bilibili) return context.files.ShellOpen(kBilibiliLink);
      if (event.control == Control::访问西瓜视频) return context.files.ShellOpen(kXiguaLink);
      return;
    case EventKind::mouseUp:
      if (event.control == Control::B站框) return toolkit.SetClipboardText(kBilibiliLink);
      if (event.control == Control::西瓜框) return toolkit.SetClipboardText(kXiguaLink);
      return;
    default: return;
  }
}

}  // namespace korvane
