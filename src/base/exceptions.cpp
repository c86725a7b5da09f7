#include "base/exceptions.h"

namespace tmby {

namespace {
MessageTranslator& Translator() {
  static MessageTranslator translator;
  return translator;
}

void AppendArg(std::string& out, const FormatArg& arg) {
  if (const auto* s = std::get_if<std::string>(&arg)) {
    out += *s;
  } else {
    out += std::to_string(std::get<int64_t>(arg));
  }
}
}  // namespace

std::string FormatText(const std::string& format, const std::vector<FmtArg>& args) {
  std::string out;
  out.reserve(format.size() + 32);
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    const char conversion = format[i + 1];
    if (conversion == '%') {
      out += '%';
      ++i;
    } else if (conversion == 's' || conversion == 'd') {
      if (next < args.size()) AppendArg(out, args[next].value);
      ++next;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

void SetMessageTranslator(MessageTranslator translator) { Translator() = std::move(translator); }

std::string LocalizeMessage(const std::string& english) {
  const MessageTranslator& t = Translator();
  if (!t) return english;
  return t(english);
}

}  // namespace tmby
