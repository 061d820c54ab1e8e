// korvane decode and encode: stored snapshot and settings files to UTF-8 text and back.
#include "cli/file_commands.h"

#include <algorithm>
#include <iostream>

#include "cli/stored_file.h"
#include "platform/file_io.h"
#include "platform/text_encoding.h"
#include "snapshot/scan_table.h"

namespace korvane {
namespace {

constexpr int kFailure = 1;

}  // namespace

int Decode(const std::string& path) {
  std::string problem;
  const auto contents = ReadWholeFile(path, &problem);
  if (!contents) {
    std::cerr << "korvane: " << problem << "\n";
    return kFailure;
  }
  const DecodedFile decoded = DecodeStoredFile(*contents);
  if (decoded.form == StoredFileForm::unreadable) {
    std::cerr << "korvane: " << path << " " << decoded.problem << "\n";
    return kFailure;
  }
  if (decoded.form == StoredFileForm::plainText) {
    std::cerr << "korvane: " << path << " is a plain snapshot text, not enciphered; printed as it is\n";
  }
  const Utf8Conversion utf8 = Gb18030ToUtf8(decoded.text);
  std::cout.write(utf8.text.data(), static_cast<std::streamsize>(utf8.text.size()));
  std::cout.flush();
  if (utf8.replaced > 0) {
    std::cerr << "korvane: " << utf8.replaced << " bytes of " << path
              << " are no GB18030 character and are shown as U+FFFD\n";
  }
  return std::cout ? 0 : kFailure;
}

namespace {

// Lines ending in a bare LF (as an editor may save them) end in CR LF again; a UTF-8 byte-order mark
// goes, since it would become part of the first path.
std::string WithCrLf(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::string result;
  result.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result.push_back('\r');
    result.push_back(text[i]);
  }
  return result;
}

}  // namespace

int Encode(const std::string& textPath, const std::string& outputPath) {
  std::string problem;
  const auto contents = ReadWholeFile(textPath, &problem);
  if (!contents) {
    std::cerr << "korvane: " << problem << "\n";
    return kFailure;
  }
  const std::string text = WithCrLf(*contents);
  const Gb18030Conversion gb18030 = Utf8ToGb18030(text);
  if (gb18030.invalidAt) {
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(*gb18030.invalidAt), '\n');
    std::cerr << "korvane: " << textPath << ", line " << line << ": not UTF-8 text\n";
    return kFailure;
  }
  if (gb18030.text.empty()) {
    std::cerr << "korvane: " << textPath << " is empty; there is nothing to encode\n";
    return kFailure;
  }
  if (!ParseSnapshotText(gb18030.text)) {
    std::cerr << "korvane: note: " << textPath << " is no well-formed snapshot text (\"C:\\path\\|size\" lines); "
              << "encoded as it is\n";
  }
  const FileResult written = WriteWholeFileReplacing(outputPath, EncodeStoredFile(gb18030.text));
  if (!written.ok) {
    std::cerr << "korvane: " << written.problem << "\n";
    return kFailure;
  }
  return 0;
}

}  // namespace korvane
