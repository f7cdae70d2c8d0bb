#include "tool.h"

#include <algorithm>
#include <cstdio>

namespace cli {

std::string ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a lone surrogate
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18);
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

namespace {

// The length of the UTF-8 sequence at text[i] and its character in *c; 0 for a byte that
// starts no sequence, or a broken one.
std::size_t DecodeUtf8(const std::string& text, std::size_t i, uint32_t* c) {
  const uint8_t b = uint8_t(text[i]);
  const int extra = b < 0x80 ? 0 : b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : -1;
  if (extra < 0 || text.size() - i <= std::size_t(extra)) return 0;
  *c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
  for (int k = 1; k <= extra; ++k) {
    const uint8_t next = uint8_t(text[i + std::size_t(k)]);
    if ((next & 0xC0) != 0x80) return 0;
    *c = *c << 6 | (next & 0x3F);
  }
  const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
  if (*c < least[extra] || *c > 0x10FFFF || (*c >= 0xD800 && *c < 0xE000)) return 0;
  return std::size_t(extra) + 1;
}

bool IsControl(uint32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

}  // namespace

std::u16string FromUtf8(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    uint32_t c = 0;
    const std::size_t length = DecodeUtf8(text, i, &c);
    if (length == 0) {
      out += char16_t(0xFFFD);  // a byte that starts no sequence, or a broken one
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += char16_t(0xD800 + ((c - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += char16_t(c);
    }
    i += length;
  }
  return out;
}

bool IsUtf8(const std::string& text) {
  uint32_t c;
  for (std::size_t i = 0, length; i < text.size(); i += length)
    if ((length = DecodeUtf8(text, i, &c)) == 0) return false;
  return true;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (std::size_t i = 0, length; i < utf8.size(); i += length) {
    uint32_t c = 0;
    length = DecodeUtf8(utf8, i, &c);
    if (length == 0) {
      out += "\xef\xbf\xbd";
      length = 1;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (IsControl(c)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
      out += escape;
    } else {
      out.append(utf8, i, length);
    }
  }
  return out + "\"";
}

std::string Printable(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0, length; i < utf8.size(); i += length) {
    uint32_t c = 0;
    length = DecodeUtf8(utf8, i, &c);
    char escape[8];
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\x%02x", unsigned(uint8_t(utf8[i])));
      length = 1;
    } else if (!IsControl(c)) {
      out.append(utf8, i, length);
      continue;
    } else if (c == '\n' || c == '\t' || c == '\r') {
      std::snprintf(escape, sizeof escape, "\\%c", c == '\n' ? 'n' : c == '\t' ? 't' : 'r');
    } else {
      std::snprintf(escape, sizeof escape, c < 0x80 ? "\\x%02x" : "\\u%04x", unsigned(c));
    }
    out += escape;
  }
  return out;
}

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / (1 << 20));
  return text;
}

std::string RecordName(const icc::LocalizedRecord& r) {
  const std::string language(r.language, 2);
  return r.country[0] == 0 && r.country[1] == 0 ? language
                                                 : language + "-" + std::string(r.country, 2);
}

bool Tool::ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& spec,
                        std::vector<std::pair<std::string, std::string>>* options,
                        std::vector<std::string>* operands) {
  bool ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (ended || arg.size() < 2 || arg[0] != '-') {
      operands->push_back(arg);
      continue;
    }
    if (arg == "--") {
      ended = true;
      continue;
    }
    const auto known = std::find_if(spec.begin(), spec.end(),
                                    [&](const OptionSpec& s) { return arg == s.name; });
    if (known == spec.end()) {
      Usage("unknown option " + arg);
      return false;
    }
    std::string value;
    if (known->takes_value) {
      if (i + 1 == args.size()) {
        Usage(arg + " needs a value");
        return false;
      }
      value = args[++i];
    }
    options->emplace_back(arg, value);
  }
  return true;
}

bool Tool::Has(const std::vector<std::pair<std::string, std::string>>& options, const char* name,
               std::string* value) {
  for (const auto& option : options)
    if (option.first == name) {
      if (value) *value = option.second;
      return true;
    }
  return false;
}

int Tool::Usage(const std::string& message) {
  platform_.Err("tagwright-cli: " + message + " (tagwright-cli --help shows the usage)\n");
  return kExitUsage;
}

namespace {

bool IsProfileName(const std::string& path) {
  if (path.size() < 4) return false;
  std::string extension = path.substr(path.size() - 4);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](char c) { return char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
  return extension == ".icc" || extension == ".icm";
}

}  // namespace

void Tool::Walk(const std::string& folder, std::vector<std::string>* files) {
  std::vector<std::string> inside, folders;
  std::string reason;
  if (!platform_.List(folder, &inside, &folders, &reason)) {
    Fail(folder, reason);
    return;
  }
  for (const std::string& file : inside)
    if (IsProfileName(file)) files->push_back(file);
  for (const std::string& sub : folders) Walk(sub, files);
}

std::vector<std::string> Tool::CollectProfiles(const std::vector<std::string>& paths,
                                               bool recursive) {
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    if (!platform_.IsFolder(path))
      files.push_back(path);  // a missing file fails when it is opened, with the reason
    else if (recursive)
      Walk(path, &files);
    else
      Fail(path, "is a folder (-r goes through folders)");
  }
  return files;
}

std::string Tool::Reason(const icc::Result& result) {
  switch (result.status) {
    case icc::Status::Ok: return "no error";
    case icc::Status::InvalidProfile: return kNotAProfile;
    case icc::Status::TagNotFound: return "the profile has no description ('desc' tag)";
    case icc::Status::InvalidParameter: return "the description is too long";
    case icc::Status::OutOfMemory: return "not enough memory";
    case icc::Status::Version5: return "a version 5 profile, which this program does not draw";
    case icc::Status::InsufficientBuffer:
    case icc::Status::Io: break;
  }
  return platform_.ErrorText(result.os_error);
}

void Tool::Fail(const std::string& path, const std::string& reason) {
  failed_ = true;
  ClearProgress();
  platform_.Err(Printable(path) + ": " + reason + "\n");
}

std::u16string Tool::Shown(const icc::Description& d) {
  return icc::DescriptionText(d, platform_.CodePage());
}

void Tool::Out(const std::string& text) {
  ClearProgress();
  platform_.Out(text);
}

void Tool::BeginProgress(std::size_t total) {
  total_ = total;
  done_ = 0;
  progress_ = total > 1 && platform_.ErrIsTerminal();
  last_ = std::chrono::steady_clock::now();
}

void Tool::Step() {
  ++done_;
  if (!progress_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  const std::string line = std::to_string(done_) + " of " + std::to_string(total_) + " files";
  platform_.Err("\r" + line);
  shown_width_ = line.size();
}

void Tool::EndProgress() {
  ClearProgress();
  progress_ = false;
}

void Tool::ClearProgress() {
  if (shown_width_ == 0) return;
  platform_.Err("\r" + std::string(shown_width_, ' ') + "\r");
  shown_width_ = 0;
}

}  // namespace cli
