// GB18030 and UTF-8 through iconv, with one pair of conversion descriptors per thread.
#include "platform/text_encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace korvane {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// One iconv conversion descriptor, closed when it goes out of scope.
class Converter {
 public:
  Converter(const char* to, const char* from) : descriptor_(iconv_open(to, from)) {}
  ~Converter() {
    if (descriptor_ != reinterpret_cast<iconv_t>(-1)) iconv_close(descriptor_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts as much of input as it can into output, advancing input; false at a byte sequence that
  // is invalid or cut off, with input then pointing at it.
  bool convert(std::string_view& input, std::string& output) {
    if (descriptor_ == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);
    char buffer[4096];
    while (!input.empty()) {
      char* in = const_cast<char*>(input.data());
      size_t inLeft = input.size();
      char* out = buffer;
      size_t outLeft = sizeof buffer;
      const size_t result = iconv(descriptor_, &in, &inLeft, &out, &outLeft);
      const int error = errno;
      output.append(buffer, out);
      input.remove_prefix(input.size() - inLeft);
      if (result == static_cast<size_t>(-1) && error != E2BIG) {
        iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);
        return false;
      }
    }
    return true;
  }

 private:
  iconv_t descriptor_;
};

// ASCII is the same in both encodings; file names are mostly ASCII, so they skip iconv entirely.
bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

// Opening a descriptor costs far more than converting a name, and a walk converts thousands of names.
Utf8Conversion Gb18030ToUtf8(std::string_view gb18030) {
  if (IsAscii(gb18030)) return {std::string(gb18030), 0};
  thread_local Converter converter("UTF-8", "GB18030");
  Utf8Conversion result;
  while (!converter.convert(gb18030, result.text) && !gb18030.empty()) {
    result.text.append(kReplacementCharacter);
    ++result.replaced;
    gb18030.remove_prefix(1);
  }
  return result;
}

Gb18030Conversion Utf8ToGb18030(std::string_view utf8) {
  if (IsAscii(utf8)) return {std::string(utf8), std::nullopt};
  thread_local Converter converter("GB18030", "UTF-8");
  Gb18030Conversion result;
  std::string_view rest = utf8;
  if (!converter.convert(rest, result.text)) result.invalidAt = utf8.size() - rest.size();
  return result;
}

}  // namespace korvane
