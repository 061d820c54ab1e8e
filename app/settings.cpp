// The settings line and CF.ini.
#include "app/settings.h"

#include <cstdint>

#include "app/drive_selector.h"
#include "app/window_layout.h"
#include "snapshot/chunk_cipher.h"
#include "snapshot/gz_container.h"

namespace korvane {
namespace {

constexpr size_t kFieldCount = 6;

std::string SettingsPath(FileSystemServices& files) {
  return files.ProgramDirectory() + "\\" + std::string(kSettingsFileName);
}

// The item index a field names, or -1 when it names no item of the combo box.
int ItemIndex(WindowToolkit& toolkit, Control comboBox, std::string_view field) {
  const int64_t index = TextToInteger(field);
  return index >= 0 && index < toolkit.ComboCount(comboBox) ? static_cast<int>(index) : -1;
}

void ApplyField(ProgramContext& context, size_t number, const std::string& field) {
  WindowToolkit& toolkit = context.toolkit;
  switch (number) {
    case 1:
      // The private snapshot list is rebuilt with every drive choice, so a stored entry would name
      // nothing certain: 外部参照 starts without a selection.
      return;
    case 2: {
      // No selection, or an entry the catalog no longer has, falls back to its first entry.
      const int index = ItemIndex(toolkit, Control::内部参照, field);
      toolkit.SetSelectedIndex(Control::内部参照, index < 0 ? 0 : index);
      return;
    }
    case 3: {
      // A drive index beyond the present drive list keeps the first drive that start-up chose.
      const int index = ItemIndex(toolkit, Control::盘符框, field);
      if (index < 0) return;
      toolkit.SetSelectedIndex(Control::盘符框, index);
      context.state.selectedDrive = toolkit.ComboItemText(Control::盘符框, index);
      OnDriveSelected(context);
      return;
    }
    case 4:
      // The stored text comes back as it was, trailing non-digits included; a zero limit stays empty.
      if (TextToInteger(field) != 0) toolkit.SetText(Control::限制框, field);
      return;
    case 5:
      toolkit.SetSelectedIndex(Control::单位框, ItemIndex(toolkit, Control::单位框, field));
      return;
    case 6:
      toolkit.SetChecked(Control::表单位框, field == "1");
      // As a click on the box would, so that the size columns follow the restored check.
      ApplyUnitDisplay(context);
      return;
  }
}

}  // namespace

void ApplyInitialChoices(ProgramContext& context) {
  context.toolkit.SetSelectedIndex(Control::内部参照, 0);
  context.toolkit.SetSelectedIndex(Control::单位框, 2);
}

std::string SettingsLine(WindowToolkit& toolkit) {
  return std::to_string(toolkit.GetSelectedIndex(Control::外部参照)) + "|" +
         std::to_string(toolkit.GetSelectedIndex(Control::内部参照)) + "|" +
         std::to_string(toolkit.GetSelectedIndex(Control::盘符框)) + "|" + toolkit.GetText(Control::限制框) + "|" +
         std::to_string(toolkit.GetSelectedIndex(Control::单位框)) + "|" +
         (toolkit.GetChecked(Control::表单位框) ? "1" : "0");
}

void SaveSettings(ProgramContext& context) {
  const Bytes stored =
      ChunkCipher::encipher(GzContainer::pack(SettingsLine(context.toolkit)), kPassPhrase, ChunkCipher::kRc4);
  context.files.WriteWholeFile(SettingsPath(context.files), stored);
}

std::vector<std::string> SettingsFields(std::string_view line) {
  std::vector<std::string> fields = SplitAtBar(line);
  if (fields.size() > 1 && fields.back().empty()) fields.pop_back();
  return fields;
}

void ApplySettingsLine(ProgramContext& context, std::string_view line) {
  const std::vector<std::string> fields = SettingsFields(line);
  // More than six pieces means a "|" typed into 限制框: no field can be trusted to be in its place.
  if (fields.empty() || fields.size() > kFieldCount) return;
  for (size_t number = 1; number <= fields.size(); ++number) ApplyField(context, number, fields[number - 1]);
}

void RestoreSettings(ProgramContext& context) {
  const std::string path = SettingsPath(context.files);
  if (!context.files.FileExists(path)) return;
  const Bytes line =
      GzContainer::unpack(ChunkCipher::decipher(context.files.ReadWholeFile(path), kPassPhrase, ChunkCipher::kRc4));
  if (line.empty()) return;
  ApplySettingsLine(context, line);
}

}  // namespace korvane
