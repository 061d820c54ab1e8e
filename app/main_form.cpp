// The form of the main window.
#include "app/main_form.h"

#include "compare/builtin_catalog.h"

namespace korvane {

const WindowForm& MainWindowForm() {
  using enum Control;
  using enum ControlKind;
  static const WindowForm form{
      "Korvane   by Lumetsa",
      {50, 50, 836, 487},
      {
          {列表框, reportList, {12, 11, 796, 330}, "", {},
           {{"ID ▲", 50}, {"层级", 60}, {"路径", 464}, {"目录容量", 100}, {"目录容量", 0}, {"比对增量", 100}, {"比对增量", 0}},
           std::nullopt},
          {外形框1, frame, {0, 345, 820, 105}, "", {}, {}, std::nullopt},
          {编辑框1, editField, {1, 78, 50, 24}, " 提示：", {}, {}, 外形框1, true},
          {过程框, editField, {51, 78, 642, 24}, "", {}, {}, 外形框1, true},
          {编辑框3, editField, {693, 78, 50, 24}, " 状态：", {}, {}, 外形框1, true},
          {状态框, editField, {743, 78, 76, 24}, " 空闲中", {}, {}, 外形框1, true},
          {标签4, label, {15, 41, 60, 24}, "初装快照：", {}, {}, 外形框1},
          {内部参照, comboBox, {76, 43, 420, 20}, "", BuiltInCatalog::Standard().itemTexts(), {}, 外形框1},
          {标签3, label, {15, 9, 60, 24}, "私人快照：", {}, {}, 外形框1},
          {外部参照, comboBox, {76, 11, 420, 20}, "", {}, {}, 外形框1},
          {外形框2, frame, {504, 7, 312, 64}, "", {}, {}, 外形框1},
          {标签1, label, {5, 1, 60, 24}, "选择磁盘：", {}, {}, 外形框2},
          {盘符框, comboBox, {71, 3, 42, 20}, "", {}, {}, 外形框2},
          {表单位框, checkBox, {124, 1, 92, 24}, "显示容量单位", {}, {}, 外形框2},
          {比对按钮, button, {224, 0, 80, 26}, "开始比对", {}, {}, 外形框2},
          {快照按钮, button, {224, 32, 80, 26}, "保存快照", {}, {}, 外形框2},
          {帮助按钮, button, {158, 32, 58, 26}, "帮助", {}, {}, 外形框2},
          {单位框, comboBox, {113, 35, 40, 20}, "", {"B", "KB", "MB", "GB", "TB"}, {}, 外形框2},
          {限制框, editField, {71, 35, 42, 20}, "", {}, {}, 外形框2},
          {标签2, label, {5, 33, 64, 24}, "最小增量≥", {}, {}, 外形框2},
      }};
  return form;
}

}  // namespace korvane
